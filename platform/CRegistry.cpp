#include "platform/CRegistry.h"

#include "platform/CRegistryStore.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace tavik::platform {

CRegistry::CRegistry() = default;

CRegistry::~CRegistry() = default;

CRegistry::CRegistry(CRegistry&& other) noexcept
    : store_(std::move(other.store_)), keyId_(other.keyId_) {
    other.keyId_ = 0;
}

CRegistry& CRegistry::operator=(CRegistry&& other) noexcept {
    if (this != &other) {
        store_ = std::move(other.store_);
        keyId_ = other.keyId_;
        other.keyId_ = 0;
    }
    return *this;
}

std::string CRegistry::storePath() {
    const char* explicitPath = std::getenv("TAVIK_REGISTRY");
    if (explicitPath != nullptr && *explicitPath != '\0') {
        return explicitPath;
    }
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/tavik/registry.db";
    }
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable != '\0') {
        home = variable;
    } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr) {
        home = entry->pw_dir;
    }
    return home + "/.config/tavik/registry.db";
}

std::string CRegistry::lastFailureText() {
    return CRegistryStore::failureText();
}

void CRegistry::close() {
    store_.reset();
    keyId_ = 0;
}

int32_t CRegistry::openFrom(std::shared_ptr<CRegistryStore> store, int64_t parentId,
                            std::u16string_view subKey, bool create) {
    int64_t id = 0;
    int32_t code =
        create ? store->createKey(parentId, subKey, id) : store->findKey(parentId, subKey, id);
    if (code == kRegSuccess) {
        store_ = std::move(store);
        keyId_ = id;
    }
    return code;
}

int32_t CRegistry::openRoot(RegistryRoot root, std::u16string_view subKey, bool create) {
    close();
    std::shared_ptr<CRegistryStore> store;
    int32_t code = CRegistryStore::open(storePath(), create, store);
    if (code != kRegSuccess) {
        return code;
    }
    return openFrom(std::move(store), CRegistryStore::rootKeyId(static_cast<uint32_t>(root)),
                    subKey, create);
}

int32_t CRegistry::create(RegistryRoot root, std::u16string_view subKey) {
    return openRoot(root, subKey, true);
}

int32_t CRegistry::open(RegistryRoot root, std::u16string_view subKey) {
    return openRoot(root, subKey, false);
}

int32_t CRegistry::create(const CRegistry& parent, std::u16string_view subKey) {
    if (!parent.isOpen()) {
        return kRegInvalidHandle;
    }
    // Keep the parent's connection alive even when this object is the parent itself.
    std::shared_ptr<CRegistryStore> store = parent.store_;
    int64_t parentId = parent.keyId_;
    close();
    return openFrom(std::move(store), parentId, subKey, true);
}

int32_t CRegistry::open(const CRegistry& parent, std::u16string_view subKey) {
    if (!parent.isOpen()) {
        return kRegInvalidHandle;
    }
    std::shared_ptr<CRegistryStore> store = parent.store_;
    int64_t parentId = parent.keyId_;
    close();
    return openFrom(std::move(store), parentId, subKey, false);
}

int32_t CRegistry::setValue(std::u16string_view name, uint32_t type, const void* data,
                            uint32_t size) {
    if (!isOpen()) {
        return kRegInvalidHandle;
    }
    return store_->setValue(keyId_, name, type, data, size);
}

int32_t CRegistry::setString(std::u16string_view name, std::u16string_view text) {
    std::u16string terminated(text);
    terminated.push_back(u'\0');
    return setValue(name, kRegSz, terminated.data(),
                    static_cast<uint32_t>(terminated.size() * sizeof(char16_t)));
}

int32_t CRegistry::setDword(std::u16string_view name, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return setValue(name, kRegDword, bytes, sizeof(bytes));
}

int32_t CRegistry::setBinary(std::u16string_view name, const std::vector<uint8_t>& bytes) {
    return setValue(name, kRegBinary, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

int32_t CRegistry::queryValue(std::u16string_view name, RegistryValue& value) const {
    if (!isOpen()) {
        return kRegInvalidHandle;
    }
    return store_->queryValue(keyId_, name, value);
}

int32_t CRegistry::queryValue(std::u16string_view name, uint32_t* type, void* data,
                              uint32_t* size) const {
    if (data != nullptr && size == nullptr) {
        return kRegInvalidParameter;
    }
    RegistryValue value;
    int32_t code = queryValue(name, value);
    if (code != kRegSuccess) {
        return code;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    if (size == nullptr) {
        return kRegSuccess;
    }
    uint32_t available = *size;
    *size = static_cast<uint32_t>(value.data.size());
    if (data == nullptr) {
        return kRegSuccess;
    }
    if (available < value.data.size()) {
        return kRegMoreData;
    }
    if (!value.data.empty()) {
        std::memcpy(data, value.data.data(), value.data.size());
    }
    return kRegSuccess;
}

int32_t CRegistry::queryString(std::u16string_view name, std::u16string& text) const {
    RegistryValue value;
    int32_t code = queryValue(name, value);
    if (code != kRegSuccess) {
        return code;
    }
    if (value.type != kRegSz) {
        return kRegUnsupportedType;
    }
    std::u16string stored(value.data.size() / sizeof(char16_t), u'\0');
    if (!stored.empty()) {
        std::memcpy(stored.data(), value.data.data(), stored.size() * sizeof(char16_t));
    }
    text = stored.substr(0, stored.find(u'\0'));
    return kRegSuccess;
}

int32_t CRegistry::queryDword(std::u16string_view name, uint32_t& result) const {
    RegistryValue value;
    int32_t code = queryValue(name, value);
    if (code != kRegSuccess) {
        return code;
    }
    if (value.type != kRegDword || value.data.size() != 4) {
        return kRegUnsupportedType;
    }
    result = static_cast<uint32_t>(value.data[0]) | static_cast<uint32_t>(value.data[1]) << 8 |
             static_cast<uint32_t>(value.data[2]) << 16 |
             static_cast<uint32_t>(value.data[3]) << 24;
    return kRegSuccess;
}

int32_t CRegistry::queryBinary(std::u16string_view name, std::vector<uint8_t>& bytes) const {
    RegistryValue value;
    int32_t code = queryValue(name, value);
    if (code != kRegSuccess) {
        return code;
    }
    if (value.type != kRegBinary) {
        return kRegUnsupportedType;
    }
    bytes = std::move(value.data);
    return kRegSuccess;
}

int32_t CRegistry::deleteValue(std::u16string_view name) {
    if (!isOpen()) {
        return kRegInvalidHandle;
    }
    return store_->deleteValue(keyId_, name);
}

int32_t CRegistry::deleteKey(std::u16string_view subKey) {
    if (!isOpen()) {
        return kRegInvalidHandle;
    }
    return store_->deleteKey(keyId_, subKey);
}

int32_t CRegistry::deleteKey(RegistryRoot root, std::u16string_view subKey) {
    CRegistry rootKey;
    int32_t code = rootKey.open(root, u"");
    if (code != kRegSuccess) {
        return code;
    }
    return rootKey.deleteKey(subKey);
}

int32_t CRegistry::enumSubKeys(std::vector<std::u16string>& names) const {
    if (!isOpen()) {
        return kRegInvalidHandle;
    }
    return store_->listSubKeys(keyId_, names);
}

int32_t CRegistry::enumValues(std::vector<std::u16string>& names) const {
    if (!isOpen()) {
        return kRegInvalidHandle;
    }
    return store_->listValues(keyId_, names);
}

} // namespace tavik::platform

#include "app/explorer/TransferText.h"

#include "app/shell/CLanguage.h"
#include "platform/AnsiCodePage.h"

#include <cmath>
#include <limits>

namespace tavik::app {

QString CannotCreateFileText(const QString& devicePath) {
    return CLanguage::Tr(QStringLiteral("\"%1\" 에 파일을 만들 수 없습니다.")).arg(devicePath);
}

QString GroupDigits(uint64_t value) {
    QString digits = QString::number(value);
    for (int at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits;
}

int TransferPercent(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total) {
        return 100;
    }
    // Whole integers: a floating-point quotient would round the last block of a large file up
    // to 100 before it arrived. done < total here, and done * 100 fits 64 bits for any size a
    // disk can hold.
    return static_cast<int>(done * 100 / total);
}

// A batch's figures are a single file's over the batch's bytes and time.
int BatchPercent(uint64_t done, uint64_t total) {
    return TransferPercent(done, total);
}

QString BatchBytesText(uint64_t done, uint64_t total) {
    return BytesText(done, total);
}

std::optional<double> BatchSpeed(uint64_t done, uint64_t elapsedMs) {
    if (elapsedMs == 0) {
        return std::nullopt;
    }
    return static_cast<double>(done) / static_cast<double>(elapsedMs);
}

std::optional<uint32_t> BatchRemainingSeconds(uint64_t done, uint64_t total,
                                              std::optional<double> speed) {
    return RemainingSeconds(done, total, speed);
}

QString BytesText(uint64_t done, uint64_t total) {
    return QStringLiteral("%1 / %2 byte").arg(GroupDigits(done), GroupDigits(total));
}

std::optional<double> TransferSpeed(uint64_t done, uint32_t elapsedMs) {
    return BatchSpeed(done, elapsedMs);
}

QString SpeedText(std::optional<double> speed) {
    if (!speed) {
        return QString();
    }
    return QString::asprintf("%5.2f k/s", *speed);
}

std::optional<uint32_t> RemainingSeconds(uint64_t done, uint64_t total,
                                         std::optional<double> speed) {
    const uint64_t left = done >= total ? 0 : total - done;
    if (left == 0) {
        return 0;
    }
    if (!speed || *speed <= 0.0) {
        return std::nullopt;
    }
    const double seconds = static_cast<double>(left) / (*speed * 1000.0);
    if (seconds >= static_cast<double>(std::numeric_limits<uint32_t>::max())) {
        return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(seconds);
}

QString RemainingText(std::optional<uint32_t> seconds) {
    if (!seconds) {
        return QString();
    }
    const uint32_t hours = *seconds / 3600;
    const uint32_t minutes = (*seconds / 60) % 60;
    const uint32_t rest = *seconds % 60;
    if (hours >= 1) {
        return CLanguage::Tr(QStringLiteral("%1시간 %2분 %3초")).arg(hours).arg(minutes).arg(rest);
    }
    if (minutes < 1) {
        return CLanguage::Tr(QStringLiteral("%1초")).arg(rest);
    }
    return CLanguage::Tr(QStringLiteral("%1분 %2초")).arg(minutes).arg(rest);
}

QString SizeText(uint64_t size) {
    return QString::number(size);
}

std::optional<uint64_t> ParseSizeText(const QString& text) {
    bool ok = false;
    if (text.startsWith(QLatin1Char('-'))) {
        const int value = text.toInt(&ok);
        return ok ? std::optional<uint64_t>(static_cast<uint32_t>(value)) : std::nullopt;
    }
    const qulonglong value = text.toULongLong(&ok);
    return ok ? std::optional<uint64_t>(value) : std::nullopt;
}

bool UploadNeedsSpaceQuestion(uint32_t block, uint32_t freeBlocks, uint64_t size) {
    return static_cast<uint64_t>(block) * freeBlocks < size;
}

bool DownloadRefusedForSpace(uint64_t freeBytes) {
    return freeBytes == 0 || freeBytes == 1024;
}

bool DownloadNeedsSpaceQuestion(uint64_t freeBytes, uint64_t size) {
    return freeBytes < size;
}

std::optional<std::string> TransferPathBytes(const QString& path) {
    std::string bytes = platform::toAnsi(path.toStdU16String());
    if (bytes.size() + 1 > static_cast<size_t>(kTransferPathBytes)) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace tavik::app

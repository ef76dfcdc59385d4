#include "app/explorer/CTavikPDADoc.h"

#include "sdk/include/TavikSession.h"

#include <utility>

namespace tavik::app {

CTavikPDADoc::CTavikPDADoc(QObject* parent) : QObject(parent) {}

CTavikPDADoc::~CTavikPDADoc() {
    DestroySessions();
}

void CTavikPDADoc::TakeDiskList(std::vector<DiskEntry> disks) {
    DestroySessions();
    disks_ = std::move(disks);
    emit diskListChanged();
}

void CTavikPDADoc::CloseAllSessions() {
    DestroySessions();
    disks_.clear();
    emit diskListChanged();
}

void CTavikPDADoc::DestroySessions() {
    for (DiskEntry& disk : disks_) {
        if (disk.session != nullptr) {
            tavik_DestroySession(disk.session);
            disk.session = nullptr;
        }
    }
}

} // namespace tavik::app

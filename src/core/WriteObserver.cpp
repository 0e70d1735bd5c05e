#include "core/WriteObserver.h"

#include <QFileInfo>

#include <mutex>
#include <utility>
#include <vector>

namespace orv {

namespace {

struct Observers {
    std::mutex mutex;
    std::vector<std::pair<const void*, WriteObserver>> list;
};

Observers& observers() {
    static Observers o;
    return o;
}

}  // namespace

void setWriteObserver(const void* owner, WriteObserver observer) {
    Observers& o = observers();
    std::lock_guard lock(o.mutex);
    std::erase_if(o.list, [owner](const auto& entry) { return entry.first == owner; });
    if (observer)
        o.list.emplace_back(owner, std::move(observer));
}

void notifyWritten(const QString& path) {
    Observers& o = observers();
    std::lock_guard lock(o.mutex);
    if (o.list.empty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (const auto& entry : o.list)
        entry.second(absolute);
}

}  // namespace orv

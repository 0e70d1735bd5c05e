#pragma once
#include <QString>

#include <functional>

namespace orv {

// Who wants to know of every file this program writes (so that its own
// writes are never taken for another program's changes). Called on the
// thread that wrote, once the file is in place.
using WriteObserver = std::function<void(const QString& path)>;
// One observer per owner; an empty observer removes the owner's.
void setWriteObserver(const void* owner, WriteObserver observer);
// The durable write tells of each file it put in place.
void notifyWritten(const QString& path);

}  // namespace orv

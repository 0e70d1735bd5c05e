#pragma once
// What the durable write needs from the system beyond plain POSIX, in one
// place. Linux makes files without a name (the threads of a batch create them
// at the same time, without taking the folder's lock) and starts writing out
// each file of a batch, without waiting, as soon as it is written. The
// portable way does without both: each temporary file is made under its name,
// synced on its own and renamed. The build picks one with
// ORVALIS_DURABLE_WRITE_PORTABLE; without it, Linux gets its own way and any
// other system the portable one.
//
// Only DurableWrite.cpp includes this. The two ways are headers rather than
// sources of their own so that whatever compiles DurableWrite.cpp gets the
// whole write with it, whichever way it picks.
#include "core/DurableWrite.h"

#include <QByteArray>
#include <sys/types.h>

#ifndef ORVALIS_DURABLE_WRITE_PORTABLE
#ifdef __linux__
#define ORVALIS_DURABLE_WRITE_PORTABLE 0
#else
#define ORVALIS_DURABLE_WRITE_PORTABLE 1
#endif
#endif
#if !ORVALIS_DURABLE_WRITE_PORTABLE && !defined(__linux__)
#error "Only Linux writes the Linux way: build with ORVALIS_DURABLE_WRITE_PORTABLE"
#endif

namespace orv::DurableWritePlatform {
namespace {

// Which way this is: "linux" or "posix".
const char* name();

// Opens for writing a new file in `folder` that has no name yet; -1 where
// the system or the file system cannot make one. The caller then makes its
// temporary file under its name from the start. The file stays without a
// name, and takes no room once closed, until nameUnnamed.
int openUnnamedTemporary(const QByteArray& folder, mode_t mode);

// Gives the file `fd` from openUnnamedTemporary the name `path`; a leftover
// of a killed run under that name is replaced. False with errno set.
bool nameUnnamed(int fd, const QByteArray& path);

// Starts writing the data of the open file `fd` out to the disk without
// waiting for it, through the tests' hook where there is such a call; what
// it returns is only a hint: the sync that follows is what says whether the
// data reached the disk.
int startWriteOut(int fd);

// The system's own calls behind the tests' hooks (WriteSystemCalls).
int systemStartWriteOut(int fd);  // -1 with ENOSYS where there is none
int systemSyncData(int fd);       // the file's data, and its metadata as far as needed to read it back

// A handle that keeps the file at `path` from being freed while it is open;
// -1 when none can be had (the file is then freed when it is replaced).
int holdFile(const QByteArray& path);

}  // namespace
}  // namespace orv::DurableWritePlatform

#if ORVALIS_DURABLE_WRITE_PORTABLE
#include "core/DurableWritePlatformPosix.h"
#else
#include "core/DurableWritePlatformLinux.h"
#endif

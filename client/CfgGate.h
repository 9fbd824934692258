// The process-wide gate of the configuration library. Its session registry
// has no lock of its own: selectInterface adds to it and the closeService
// that releases a session's last port user takes from it, while every
// other entry point looks a session up in it. Code that drives sessions
// from several threads of one process takes the gate: exclusively around
// selectInterface and closeService, shared around any other call. Calls on
// different sessions may then run at once; calls on one session must still
// come one at a time (its own thread, or its owner's lock).
//
// A program that drives the library from one thread only (the tool, the
// utility's library worker) may leave the gate alone unless it also runs a
// CHubDevices, whose session thread takes it.
#pragma once
#include <shared_mutex>

namespace vexal::client {

// Never destroyed: a late thread may still take it at process exit.
std::shared_mutex& CfgLibraryGate();

}  // namespace vexal::client

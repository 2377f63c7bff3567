// The library's one piece of global state. Everything in it is guarded by
// `mutex`: the entry points and the simulator controls take it for the whole
// call, so a network agent may call in from several threads.
#ifndef HALVO_LIBRARY_H
#define HALVO_LIBRARY_H

#include "backend.h"
#include "handles.h"
#include "instrument.h"

#include <memory>
#include <mutex>

namespace halvo
{

struct Library {
    Library();

    std::mutex mutex;
    Instrument instrument;
    std::unique_ptr<Platform> platform;
    HandleTable handles;
};

// Created on first use.
Library &library();

// The platform the library runs on: handle 0 as the settings choose it.
std::unique_ptr<Platform> makePlatform();

} // namespace halvo

#endif

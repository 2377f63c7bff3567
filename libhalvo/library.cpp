#include "library.h"

namespace halvo
{

Library::Library() : platform(makePlatform()), handles(*platform) {}

Library &library()
{
    static Library instance;
    return instance;
}

} // namespace halvo

#include "resources.h"

#include <QtGlobal>

// The images live in a static library, where nothing would otherwise pull the
// resource object into the program.
void initHalvoResources()
{
    Q_INIT_RESOURCE(halvo);
}

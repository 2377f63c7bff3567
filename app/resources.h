#ifndef RESOURCES_H
#define RESOURCES_H

// Registers the embedded images (":/Images/Images/...") with the toolkit.
void initHalvoResources();

#endif // RESOURCES_H

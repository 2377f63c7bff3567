#ifndef APPLICATION_H
#define APPLICATION_H

#include <functional>

class HStation;

// The whole program: board probe, style, application, one main window, event
// loop. `shown` runs once the window is on screen (tests use it to look at the
// started program and end the loop); the window is deleted when the loop ends.
int runHalvoGui(int &argc, char **argv, const std::function<void(HStation &)> &shown = {});

#endif // APPLICATION_H

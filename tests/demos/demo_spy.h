// Stand-ins for a few scene-library calls, put in place of the library's
// own by the linker (which they then call): they record what the demos
// passed, and vqshow returns at once so that a demo's main can run
// in-process and be inspected after it.
#pragma once

#include <functional>
#include <string>

struct DemoSpy {
    std::string device; // device of the last vqopend
    int shows = 0;      // vqshow calls
    int links = 0;      // xvqlpc calls
    int linkA = -1, linkB = -1;
    int toggles = 0; // xvqtp calls
    int toggled = -1;
    // Run inside vqshow, before it returns.
    std::function<void()> onShow;
};

DemoSpy &demoSpy();
void resetDemoSpy();

#include "demo_spy.h"

#include "vqscene.h"

// The test program links the scene library statically with the linker's
// --wrap for these calls: the demos' calls arrive here, and __real_ names
// the library's own definition.
extern "C" {
int __real_vqopend(const char *device, int argc, char **argv);
void __real_xvqlpc(int a, int b);
void __real_xvqtp(int id);
}

DemoSpy &demoSpy()
{
    static DemoSpy spy;
    return spy;
}

void resetDemoSpy()
{
    demoSpy() = DemoSpy();
}

extern "C" int __wrap_vqopend(const char *device, int argc, char **argv)
{
    demoSpy().device = device ? device : "";
    return __real_vqopend(device, argc, argv);
}

// Never runs the loop: the tests drive frames themselves.
extern "C" int __wrap_vqshow(int)
{
    demoSpy().shows++;
    if (demoSpy().onShow)
        demoSpy().onShow();
    return 0;
}

extern "C" void __wrap_xvqlpc(int a, int b)
{
    demoSpy().links++;
    demoSpy().linkA = a;
    demoSpy().linkB = b;
    __real_xvqlpc(a, b);
}

extern "C" void __wrap_xvqtp(int id)
{
    demoSpy().toggles++;
    demoSpy().toggled = id;
    __real_xvqtp(id);
}

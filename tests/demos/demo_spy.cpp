#include "demo_spy.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include "vqscene.h"

DemoSpy &demoSpy()
{
    static DemoSpy spy;
    return spy;
}

void resetDemoSpy()
{
    demoSpy() = DemoSpy();
}

// The library's own definition of a call, found past this program.
template <typename Fn> static Fn libraryCall(const char *name)
{
    void *fn = dlsym(RTLD_NEXT, name);
    if (!fn) {
        fprintf(stderr, "demo_spy: no library call %s\n", name);
        abort();
    }
    return reinterpret_cast<Fn>(fn);
}

extern "C" int vqopend(const char *device, int argc, char **argv)
{
    static auto real = libraryCall<int (*)(const char *, int, char **)>("vqopend");
    demoSpy().device = device ? device : "";
    return real(device, argc, argv);
}

// Never runs the loop: the tests drive frames themselves.
extern "C" int vqshow(int)
{
    demoSpy().shows++;
    if (demoSpy().onShow)
        demoSpy().onShow();
    return 0;
}

extern "C" void xvqlpc(int a, int b)
{
    static auto real = libraryCall<void (*)(int, int)>("xvqlpc");
    demoSpy().links++;
    demoSpy().linkA = a;
    demoSpy().linkB = b;
    real(a, b);
}

extern "C" void xvqtp(int id)
{
    static auto real = libraryCall<void (*)(int)>("xvqtp");
    demoSpy().toggles++;
    demoSpy().toggled = id;
    real(id);
}

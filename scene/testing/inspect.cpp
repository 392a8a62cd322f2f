// Test-only view into the library: headless set-up and read-back.
#include <cstdio>

#include "vqscene_inspect.h"

namespace vqtest {

namespace {

int resolvePanel(int id)
{
    vq::Scene &s = vq::scene();
    if (id < 0)
        return s.current >= 0 && s.current < static_cast<int>(s.panels.size()) ? s.current : 0;
    if (id >= static_cast<int>(s.panels.size())) {
        std::fprintf(stderr, "vqtest: no panel %d, using panel 0\n", id);
        return 0;
    }
    return id;
}

} // namespace

void openHeadless(const std::vector<std::string> &extraArgs)
{
    vq::resetScene();
    std::vector<std::string> args{"vqtest", "--nodraw"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    vqopend("/?", static_cast<int>(args.size()), argv.data());
}

void closeScene()
{
    vq::resetScene();
}

vq::Scene &scene()
{
    return vq::scene();
}

vq::Panel &panel(int id)
{
    return vq::scene().panels[resolvePanel(id)];
}

const vq::PrimList &frameList(int p)
{
    return panel(p).frameList;
}

const vq::PrimList &staticList(int p)
{
    return panel(p).staticList;
}

const std::string &nameOf(int nameIndex)
{
    static const std::string none;
    const vq::Scene &s = vq::scene();
    if (nameIndex < 0 || nameIndex >= static_cast<int>(s.names.size()))
        return none;
    return s.names[nameIndex];
}

void runFrame()
{
    vq::runFrame(vq::scene());
    vq::endFrame(vq::scene());
}

void pressKey(unsigned char key)
{
    vq::pressKey(vq::scene(), key);
}

void setCamera(const Point3 &eye, const Point3 &target, const Point3 &up, int p)
{
    vq::Scene &s = vq::scene();
    int owner = vq::cameraOwner(s, resolvePanel(p));
    vq::Camera &c = s.panels[owner].camera;
    c.eye[0] = eye.x, c.eye[1] = eye.y, c.eye[2] = eye.z;
    c.target[0] = target.x, c.target[1] = target.y, c.target[2] = target.z;
    c.up[0] = up.x, c.up[1] = up.y, c.up[2] = up.z;
    s.panels[owner].cameraUser = true;
}

void setRenderMode(int mode)
{
    svqsrm(mode);
}

} // namespace vqtest

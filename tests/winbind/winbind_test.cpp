// libvqwin against a recording GLUT: every call must reach the right GLUT
// function with the right arguments, and the translated codes must be
// GLUT's constants.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "vqwin.h"

namespace {

struct Call {
    std::string name;
    std::vector<long> args;
    const void *ptr = nullptr;
};

std::vector<Call> calls;
int nextWindowId = 7;
int currentWindow = 3;
int modifiers = 5;
int getResult = 0;

void record(const char *name, std::vector<long> args = {}, const void *ptr = nullptr)
{
    calls.push_back({name, std::move(args), ptr});
}

} // namespace

extern "C" {
void *glutBitmap8By13 = nullptr;

void glutInit(int *argc, char **argv)
{
    record("glutInit", {*argc}, argv);
}
void glutMainLoop(void)
{
    record("glutMainLoop");
}
void glutInitWindowSize(int w, int h)
{
    record("glutInitWindowSize", {w, h});
}
int glutCreateWindow(const char *title)
{
    record("glutCreateWindow", {}, title);
    return nextWindowId;
}
void glutFullScreen(void)
{
    record("glutFullScreen");
}
void glutReshapeFunc(void (*f)(int, int))
{
    record("glutReshapeFunc", {}, reinterpret_cast<const void *>(f));
}
void glutDisplayFunc(void (*f)(void))
{
    record("glutDisplayFunc", {}, reinterpret_cast<const void *>(f));
}
void glutVisibilityFunc(void (*f)(int))
{
    record("glutVisibilityFunc", {}, reinterpret_cast<const void *>(f));
}
void glutKeyboardFunc(void (*f)(unsigned char, int, int))
{
    record("glutKeyboardFunc", {}, reinterpret_cast<const void *>(f));
}
void glutIdleFunc(void (*f)(void))
{
    record("glutIdleFunc", {}, reinterpret_cast<const void *>(f));
}
void glutSpecialFunc(void (*f)(int, int, int))
{
    record("glutSpecialFunc", {}, reinterpret_cast<const void *>(f));
}
void glutMouseFunc(void (*f)(int, int, int, int))
{
    record("glutMouseFunc", {}, reinterpret_cast<const void *>(f));
}
void glutMotionFunc(void (*f)(int, int))
{
    record("glutMotionFunc", {}, reinterpret_cast<const void *>(f));
}
void glutPassiveMotionFunc(void (*f)(int, int))
{
    record("glutPassiveMotionFunc", {}, reinterpret_cast<const void *>(f));
}
void glutSpaceballButtonFunc(void (*f)(int, int))
{
    record("glutSpaceballButtonFunc", {}, reinterpret_cast<const void *>(f));
}
void glutSpaceballMotionFunc(void (*f)(int, int, int))
{
    record("glutSpaceballMotionFunc", {}, reinterpret_cast<const void *>(f));
}
void glutSpaceballRotateFunc(void (*f)(int, int, int))
{
    record("glutSpaceballRotateFunc", {}, reinterpret_cast<const void *>(f));
}
void glutSwapBuffers(void)
{
    record("glutSwapBuffers");
}
void glutPostRedisplay(void)
{
    record("glutPostRedisplay");
}
int glutGetModifiers(void)
{
    record("glutGetModifiers");
    return modifiers;
}
void glutSetCursor(int cursor)
{
    record("glutSetCursor", {cursor});
}
int glutGet(unsigned int what)
{
    record("glutGet", {static_cast<long>(what)});
    return getResult;
}
void glutInitDisplayMode(unsigned int mode)
{
    record("glutInitDisplayMode", {static_cast<long>(mode)});
}
int glutGetWindow(void)
{
    record("glutGetWindow");
    return currentWindow;
}
void glutDestroyWindow(int window)
{
    record("glutDestroyWindow", {window});
}
void glutBitmapCharacter(void *font, int character)
{
    record("glutBitmapCharacter", {character}, font);
}
}

namespace {

class Winbind : public ::testing::Test {
  protected:
    void SetUp() override { calls.clear(); }
    // The one call made, checked by name.
    const Call &only(const char *name)
    {
        EXPECT_EQ(calls.size(), 1u);
        static const Call none{"<none>", {}, nullptr};
        if (calls.empty())
            return none;
        EXPECT_EQ(calls[0].name, name);
        return calls[0];
    }
};

void reshape(int, int) {}
void display(void) {}
void visibility(int) {}
void keyboard(unsigned char, int, int) {}
void special(int, int, int) {}
void mouse(int, int, int, int) {}
void motion(int, int) {}
void passive(int, int) {}
void sbButton(int, int) {}
void sbMotion(int, int, int) {}
void sbRotate(int, int, int) {}
void idle(void) {}

const void *fp(const void *p)
{
    return p;
}

TEST_F(Winbind, ForwardsArgumentsAndResults)
{
    int argc = 2;
    char a0[] = "prog", a1[] = "-x";
    char *argv[] = {a0, a1, nullptr};
    vqwinInit(&argc, argv);
    EXPECT_EQ(only("glutInit").args[0], 2);
    EXPECT_EQ(calls[0].ptr, argv);

    calls.clear();
    vqwinInitWindowSize(640, 480);
    EXPECT_EQ(only("glutInitWindowSize").args, (std::vector<long>{640, 480}));

    calls.clear();
    const char *title = "scene";
    nextWindowId = 11;
    EXPECT_EQ(vqwinCreateWindow(title), 11);
    EXPECT_EQ(only("glutCreateWindow").ptr, title);

    calls.clear();
    modifiers = 6;
    EXPECT_EQ(vqwinGetModifiers(), 6);
    only("glutGetModifiers");

    calls.clear();
    vqwinMainLoop();
    vqwinFullScreen();
    vqwinSwapBuffers();
    vqwinPostRedisplay();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].name, "glutMainLoop");
    EXPECT_EQ(calls[1].name, "glutFullScreen");
    EXPECT_EQ(calls[2].name, "glutSwapBuffers");
    EXPECT_EQ(calls[3].name, "glutPostRedisplay");
}

TEST_F(Winbind, RegistersEachCallbackWithItsGlutFunction)
{
    vqwinReshapeFunc(reshape);
    vqwinDisplayFunc(display);
    vqwinVisibilityFunc(visibility);
    vqwinKeyboardFunc(keyboard);
    vqwinIdleFunc(idle);
    vqwinSpecialFunc(special);
    vqwinMouseFunc(mouse);
    vqwinMotionFunc(motion);
    vqwinPassiveMotionFunc(passive);
    vqwinSpaceballButtonFunc(sbButton);
    vqwinSpaceballMotionFunc(sbMotion);
    vqwinSpaceballRotateFunc(sbRotate);
    vqwinIdleFunc(nullptr);
    const std::vector<std::pair<std::string, const void *>> want = {
        {"glutReshapeFunc", fp(reinterpret_cast<const void *>(reshape))},
        {"glutDisplayFunc", fp(reinterpret_cast<const void *>(display))},
        {"glutVisibilityFunc", fp(reinterpret_cast<const void *>(visibility))},
        {"glutKeyboardFunc", fp(reinterpret_cast<const void *>(keyboard))},
        {"glutIdleFunc", fp(reinterpret_cast<const void *>(idle))},
        {"glutSpecialFunc", fp(reinterpret_cast<const void *>(special))},
        {"glutMouseFunc", fp(reinterpret_cast<const void *>(mouse))},
        {"glutMotionFunc", fp(reinterpret_cast<const void *>(motion))},
        {"glutPassiveMotionFunc", fp(reinterpret_cast<const void *>(passive))},
        {"glutSpaceballButtonFunc", fp(reinterpret_cast<const void *>(sbButton))},
        {"glutSpaceballMotionFunc", fp(reinterpret_cast<const void *>(sbMotion))},
        {"glutSpaceballRotateFunc", fp(reinterpret_cast<const void *>(sbRotate))},
        {"glutIdleFunc", nullptr},
    };
    ASSERT_EQ(calls.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(calls[i].name, want[i].first) << i;
        EXPECT_EQ(calls[i].ptr, want[i].second) << i;
    }
}

TEST_F(Winbind, DisplayModeMasks)
{
    const struct {
        int kind, flag;
        long mask;
    } cases[] = {{1, 0, 0x192}, {1, 1, 0x192}, {5, 1, 0x32}, {5, -3, 0x32}, {5, 0, 0xb2},
                 {0, 0, 0x92},  {2, 1, 0x92},  {3, 0, 0x92}, {4, 1, 0x92},  {-1, 0, 0x92}};
    for (const auto &c : cases) {
        calls.clear();
        vqwinInitDisplayMode(c.kind, c.flag);
        EXPECT_EQ(only("glutInitDisplayMode").args[0], c.mask) << c.kind << "," << c.flag;
    }
}

TEST_F(Winbind, CursorKinds)
{
    vqwinSetCursor(0);
    EXPECT_EQ(only("glutSetCursor").args[0], 101);
    calls.clear();
    vqwinSetCursor(1);
    EXPECT_EQ(only("glutSetCursor").args[0], 9);
    calls.clear();
    vqwinSetCursor(2);
    vqwinSetCursor(-1);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Winbind, GetCodes)
{
    const long codes[] = {200, 201, 101, 102, 103};
    for (int what = 0; what < 5; ++what) {
        calls.clear();
        getResult = 1000 + what;
        EXPECT_EQ(vqwinGet(what), 1000 + what);
        EXPECT_EQ(only("glutGet").args[0], codes[what]) << what;
    }
    calls.clear();
    getResult = 77;
    EXPECT_EQ(vqwinGet(5), 0);
    EXPECT_EQ(vqwinGet(-1), 0);
    EXPECT_EQ(vqwinGet(200), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Winbind, DestroyWindowUsesCurrentWindow)
{
    currentWindow = 42;
    vqwinDestroyWindow();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "glutGetWindow");
    EXPECT_EQ(calls[1].name, "glutDestroyWindow");
    EXPECT_EQ(calls[1].args[0], 42);
}

TEST_F(Winbind, BitmapCharacterDrawsFirstCharacterSigned)
{
    vqwinBitmapCharacter("AB");
    const Call &c = only("glutBitmapCharacter");
    EXPECT_EQ(c.args[0], 'A');
    EXPECT_EQ(c.ptr, static_cast<const void *>(&glutBitmap8By13));

    calls.clear();
    const char high[] = {static_cast<char>(0xe9), 'x', 0};
    vqwinBitmapCharacter(high);
    EXPECT_EQ(only("glutBitmapCharacter").args[0], -23);

    calls.clear();
    vqwinBitmapCharacter(nullptr);
    EXPECT_TRUE(calls.empty());
}

} // namespace

namespace {

// The library names no toolkit: its GLUT comes from the loading program.
TEST(WinbindLibrary, NeedsNoGlut)
{
    std::string cmd = std::string("readelf -d '") + LIB_DIR + "/libvqwin.so' 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    ASSERT_EQ(pclose(p), 0) << out;
    EXPECT_NE(out.find("SONAME"), std::string::npos) << out;
    EXPECT_EQ(out.find("glut"), std::string::npos) << out;
    EXPECT_EQ(out.find("libGL"), std::string::npos) << out;
}

}  // namespace

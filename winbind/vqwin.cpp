// libvqwin: one forwarding function per GLUT call the scene library makes.
// The GLUT functions are declared here rather than taken from a GLUT
// header so that nothing ties this library to a toolkit library: they
// resolve from the program that loads it. They are weak so that a program
// that links this library but never opens a window
// links without GLUT; the window platform checks for GLUT before use.
#include "vqwin.h"

extern "C" {
void glutInit(int *argc, char **argv);
void glutMainLoop(void);
void glutInitWindowSize(int width, int height);
int glutCreateWindow(const char *title);
void glutFullScreen(void);
void glutReshapeFunc(void (*f)(int, int));
void glutDisplayFunc(void (*f)(void));
void glutVisibilityFunc(void (*f)(int));
void glutKeyboardFunc(void (*f)(unsigned char, int, int));
void glutIdleFunc(void (*f)(void));
void glutSpecialFunc(void (*f)(int, int, int));
void glutMouseFunc(void (*f)(int, int, int, int));
void glutMotionFunc(void (*f)(int, int));
void glutPassiveMotionFunc(void (*f)(int, int));
void glutSpaceballButtonFunc(void (*f)(int, int));
void glutSpaceballMotionFunc(void (*f)(int, int, int));
void glutSpaceballRotateFunc(void (*f)(int, int, int));
void glutSwapBuffers(void);
void glutPostRedisplay(void);
int glutGetModifiers(void);
void glutSetCursor(int cursor);
int glutGet(unsigned int what);
void glutInitDisplayMode(unsigned int mode);
int glutGetWindow(void);
void glutDestroyWindow(int window);
void glutBitmapCharacter(void *font, int character);
// Freeglut names its fonts by the address of these objects.
extern void *glutBitmap8By13;
#pragma weak glutInit
#pragma weak glutMainLoop
#pragma weak glutInitWindowSize
#pragma weak glutCreateWindow
#pragma weak glutFullScreen
#pragma weak glutReshapeFunc
#pragma weak glutDisplayFunc
#pragma weak glutVisibilityFunc
#pragma weak glutKeyboardFunc
#pragma weak glutIdleFunc
#pragma weak glutSpecialFunc
#pragma weak glutMouseFunc
#pragma weak glutMotionFunc
#pragma weak glutPassiveMotionFunc
#pragma weak glutSpaceballButtonFunc
#pragma weak glutSpaceballMotionFunc
#pragma weak glutSpaceballRotateFunc
#pragma weak glutSwapBuffers
#pragma weak glutPostRedisplay
#pragma weak glutGetModifiers
#pragma weak glutSetCursor
#pragma weak glutGet
#pragma weak glutInitDisplayMode
#pragma weak glutGetWindow
#pragma weak glutDestroyWindow
#pragma weak glutBitmapCharacter
#pragma weak glutBitmap8By13
}

namespace {

// GLUT's values, fixed by its binary interface.
constexpr int kCursorNone = 101;
constexpr int kCursorCrosshair = 9;
constexpr unsigned kScreenWidth = 200;
constexpr unsigned kScreenHeight = 201;
constexpr unsigned kWindowY = 101;
constexpr unsigned kWindowWidth = 102;
constexpr unsigned kWindowHeight = 103;
constexpr unsigned kModeStereo = 0x192;      // stereo, multisample, depth, double
constexpr unsigned kModeStencil = 0x32;      // stencil, depth, double
constexpr unsigned kModeStencilMulti = 0xb2; // multisample, stencil, depth, double
constexpr unsigned kModeDefault = 0x92;      // multisample, depth, double

} // namespace

extern "C" {

void vqwinInit(int *argc, char **argv)
{
    glutInit(argc, argv);
}

void vqwinMainLoop(void)
{
    glutMainLoop();
}

void vqwinInitWindowSize(int width, int height)
{
    glutInitWindowSize(width, height);
}

int vqwinCreateWindow(const char *title)
{
    return glutCreateWindow(title);
}

void vqwinFullScreen(void)
{
    glutFullScreen();
}

void vqwinReshapeFunc(void (*f)(int, int))
{
    glutReshapeFunc(f);
}

void vqwinDisplayFunc(void (*f)(void))
{
    glutDisplayFunc(f);
}

void vqwinVisibilityFunc(void (*f)(int))
{
    glutVisibilityFunc(f);
}

void vqwinKeyboardFunc(void (*f)(unsigned char, int, int))
{
    glutKeyboardFunc(f);
}

void vqwinIdleFunc(void (*f)(void))
{
    glutIdleFunc(f);
}

void vqwinSpecialFunc(void (*f)(int, int, int))
{
    glutSpecialFunc(f);
}

void vqwinMouseFunc(void (*f)(int, int, int, int))
{
    glutMouseFunc(f);
}

void vqwinMotionFunc(void (*f)(int, int))
{
    glutMotionFunc(f);
}

void vqwinPassiveMotionFunc(void (*f)(int, int))
{
    glutPassiveMotionFunc(f);
}

void vqwinSpaceballButtonFunc(void (*f)(int, int))
{
    glutSpaceballButtonFunc(f);
}

void vqwinSpaceballMotionFunc(void (*f)(int, int, int))
{
    glutSpaceballMotionFunc(f);
}

void vqwinSpaceballRotateFunc(void (*f)(int, int, int))
{
    glutSpaceballRotateFunc(f);
}

void vqwinSwapBuffers(void)
{
    glutSwapBuffers();
}

void vqwinPostRedisplay(void)
{
    glutPostRedisplay();
}

int vqwinGetModifiers(void)
{
    return glutGetModifiers();
}

void vqwinSetCursor(int kind)
{
    if (kind == 0)
        glutSetCursor(kCursorNone);
    else if (kind == 1)
        glutSetCursor(kCursorCrosshair);
}

int vqwinGet(int what)
{
    // Compared as unsigned so that negative codes fall to the default.
    switch (static_cast<unsigned>(what)) {
    case 0:
        return glutGet(kScreenWidth);
    case 1:
        return glutGet(kScreenHeight);
    case 2:
        return glutGet(kWindowY);
    case 3:
        return glutGet(kWindowWidth);
    case 4:
        return glutGet(kWindowHeight);
    default:
        return 0;
    }
}

void vqwinInitDisplayMode(int kind, int flag)
{
    unsigned mode = kModeDefault;
    if (kind == 1)
        mode = kModeStereo;
    else if (kind == 5)
        mode = flag != 0 ? kModeStencil : kModeStencilMulti;
    glutInitDisplayMode(mode);
}

void vqwinDestroyWindow(void)
{
    glutDestroyWindow(glutGetWindow());
}

void vqwinBitmapCharacter(const char *text)
{
    // A null text has no first character to draw.
    if (text == nullptr)
        return;
    glutBitmapCharacter(&glutBitmap8By13, static_cast<int>(static_cast<signed char>(text[0])));
}

} // extern "C"

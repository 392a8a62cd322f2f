/* vqwin.h - libvqwin, the window binding between libvqscene and GLUT.
 *
 * Every call forwards to GLUT; the GLUT functions are bound when the
 * library is loaded, from the GLUT that the loading program links. The
 * library itself links no toolkit, keeps no state and prints nothing.
 */
#ifndef VQWIN_H
#define VQWIN_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Forwarded one to one ------------------------------------------ */

void vqwinInit(int *argc, char **argv);                              /* glutInit */
void vqwinMainLoop(void);                                            /* glutMainLoop */
void vqwinInitWindowSize(int width, int height);                     /* glutInitWindowSize */
int vqwinCreateWindow(const char *title);                            /* glutCreateWindow: window id */
void vqwinFullScreen(void);                                          /* glutFullScreen */
void vqwinReshapeFunc(void (*f)(int w, int h));                      /* glutReshapeFunc */
void vqwinDisplayFunc(void (*f)(void));                              /* glutDisplayFunc */
void vqwinVisibilityFunc(void (*f)(int state));                      /* glutVisibilityFunc */
void vqwinKeyboardFunc(void (*f)(unsigned char key, int x, int y));  /* glutKeyboardFunc */
void vqwinIdleFunc(void (*f)(void));                                 /* glutIdleFunc */
void vqwinSpecialFunc(void (*f)(int key, int x, int y));             /* glutSpecialFunc */
void vqwinMouseFunc(void (*f)(int button, int state, int x, int y)); /* glutMouseFunc */
void vqwinMotionFunc(void (*f)(int x, int y));                       /* glutMotionFunc */
void vqwinPassiveMotionFunc(void (*f)(int x, int y));                /* glutPassiveMotionFunc */
void vqwinSpaceballButtonFunc(void (*f)(int button, int state));     /* glutSpaceballButtonFunc */
void vqwinSpaceballMotionFunc(void (*f)(int x, int y, int z));       /* glutSpaceballMotionFunc */
void vqwinSpaceballRotateFunc(void (*f)(int x, int y, int z));       /* glutSpaceballRotateFunc */
void vqwinSwapBuffers(void);                                         /* glutSwapBuffers */
void vqwinPostRedisplay(void);                                       /* glutPostRedisplay */
int vqwinGetModifiers(void);                                         /* glutGetModifiers: modifier bits */

/* ---- Translated codes ---------------------------------------------- */

/* 0 hides the pointer, 1 shows a cross-hair, anything else does nothing. */
void vqwinSetCursor(int kind);
/* 0 screen width, 1 screen height, 2 window y, 3 window width, 4 window
   height; anything else 0 without asking GLUT. */
int vqwinGet(int what);
/* Double-buffered with depth: kind 1 stereo, kind 5 stencil (flag nonzero:
   no multisampling), any other kind multisampled. */
void vqwinInitDisplayMode(int kind, int flag);
/* Destroy the current window. */
void vqwinDestroyWindow(void);
/* Draw the first character of text in the 8x13 bitmap font. */
void vqwinBitmapCharacter(const char *text);

#ifdef __cplusplus
}
#endif

#endif

#pragma once

// OpenGL ES 1.1 with the OES extensions the map kit draws with (framebuffer objects among them).
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GLES/gl.h>
#include <GLES/glext.h>

// The 2D drawing layer: everything a program draws with.
//
//   draw2d/blend.h      blend modes and image flags
//   draw2d/zeph2d.h     drawing state, the drawing driver, colour, blending, placement, primitives
//   draw2d/image.h      images and frames: loading, handles, drawing, tiling, grabbing
//   draw2d/imagefont.h  image fonts, the built-in font and text
//
// The OpenGL back end (draw2d/gl/gldriver.h) is the default drawing driver.
#pragma once

#include <corvex/draw2d/blend.h>
#include <corvex/draw2d/image.h>
#include <corvex/draw2d/imagefont.h>
#include <corvex/draw2d/zeph2d.h>

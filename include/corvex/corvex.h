// The whole framework in one header, and the one call that starts it.
//
//     #include <corvex/corvex.h>
//
//     int main(int argc, char** argv) {
//         return corvex::RunApplication(argc, argv, [] {
//             corvex::StartCorvex();
//             corvex::OpenGraphics(800, 600, 0, 60, 0);
//             ...
//         });
//     }
#pragma once

#include <corvex/runtime/runtime.h>

#include <corvex/stream/protocols.h>
#include <corvex/stream/stream.h>

#include <corvex/audio/audio.h>
#include <corvex/audio/loader.h>
#include <corvex/audio/ogg.h>
#include <corvex/audio/sample.h>
#include <corvex/audio/wav.h>

#include <corvex/net/host.h>
#include <corvex/net/http.h>
#include <corvex/net/socket.h>

#include <corvex/pixmap/bmp.h>
#include <corvex/pixmap/format.h>
#include <corvex/pixmap/jpeg.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/pixmap/png.h>
#include <corvex/pixmap/tga.h>

#include <corvex/system/clock.h>
#include <corvex/system/entry.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/keys.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/random.h>
#include <corvex/system/system.h>
#include <corvex/system/timer.h>

#include <corvex/graphics/egl_graphics.h>
#include <corvex/graphics/gl_context_driver.h>
#include <corvex/graphics/gl_graphics.h>
#include <corvex/graphics/graphics.h>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/freetype.h>
#include <corvex/draw2d/gl/gldriver.h>

#include <corvex/joystick/joystick.h>

namespace corvex {

// Starts every module in dependency order (runtime, streams, pixmaps with their PNG, JPEG, BMP
// and TGA loaders, the system modules, graphics, the drawing layer, the OpenGL window driver,
// then audio with its WAV and Ogg Vorbis loaders and drivers, game controllers, the outline-font
// loader, then networking with its "tcp", "http" and "https" protocols) and makes the OpenGL 2D
// back end the current graphics driver. Safe to call more than once. Link Corvex::corvex to use it.
inline void StartCorvex() {
    StartGLZeph2DModule();
    StartAudioModule();
    StartJoystickModule();
    StartFreeTypeFontModule();
    StartNetModule();
}

}  // namespace corvex

# The graphics library on Windows: the driver-neutral front end with the WGL driver beneath.
# Included from graphics/CMakeLists.txt, so paths are relative to graphics/.
corvex_add_library(corvex_graphics
    SOURCES graphics.cpp pacer.cpp
            wgl/wgl_graphics.cpp wgl/native.cpp wgl/pixel_format.cpp wgl/display_modes.cpp
    DEPS corvex_system corvex_system_win32 corvex_stream opengl32 gdi32 user32)
corvex_add_test(graphics_tests SOURCES graphics_test.cpp DEPS corvex_graphics)
corvex_add_test(graphics_wgl_display_tests SOURCES wgl/wgl_display_test.cpp DEPS corvex_graphics DISPLAY)

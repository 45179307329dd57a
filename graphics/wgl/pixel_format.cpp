#include "graphics/wgl/native.h"

#include <corvex/graphics/graphics.h>

namespace corvex::wgl {

PIXELFORMATDESCRIPTOR PixelFormatRequest(int32_t flags) {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if (flags & GFX_DOUBLE_BUFFER) request.dwFlags |= PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    // One bit of each buffer: the closest format that has one at all.
    request.cColorBits = 1;
    request.cAlphaBits = (flags & GFX_ALPHA_BITS) ? 1 : 0;
    request.cAccumBits = (flags & GFX_ACCUM_BUFFER) ? 1 : 0;
    request.cDepthBits = (flags & GFX_DEPTH_BUFFER) ? 1 : 0;
    request.cStencilBits = (flags & GFX_STENCIL_BUFFER) ? 1 : 0;
    request.iLayerType = PFD_MAIN_PLANE;
    return request;
}

bool FormatSatisfies(const PIXELFORMATDESCRIPTOR& format, int32_t flags) {
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if ((format.dwFlags & needed) != needed || format.iPixelType != PFD_TYPE_RGBA) return false;
    if ((flags & GFX_DOUBLE_BUFFER) && !(format.dwFlags & PFD_DOUBLEBUFFER)) return false;
    if ((flags & GFX_ALPHA_BITS) && format.cAlphaBits == 0) return false;
    if ((flags & GFX_DEPTH_BUFFER) && format.cDepthBits == 0) return false;
    if ((flags & GFX_STENCIL_BUFFER) && format.cStencilBits == 0) return false;
    if ((flags & GFX_ACCUM_BUFFER) && format.cAccumBits == 0) return false;
    return true;
}

int ChooseFormat(HDC dc, int32_t flags) {
    const PIXELFORMATDESCRIPTOR request = PixelFormatRequest(flags);
    PIXELFORMATDESCRIPTOR described{};
    const int chosen = ChoosePixelFormat(dc, &request);
    if (chosen > 0 && DescribePixelFormat(dc, chosen, sizeof described, &described) &&
        FormatSatisfies(described, flags)) {
        return chosen;
    }
    // The system's choice is only the closest; look for one that has everything asked for.
    const int count = DescribePixelFormat(dc, 1, sizeof described, &described);
    for (int i = 1; i <= count; ++i) {
        if (DescribePixelFormat(dc, i, sizeof described, &described) && FormatSatisfies(described, flags)) return i;
    }
    return 0;
}

}  // namespace corvex::wgl

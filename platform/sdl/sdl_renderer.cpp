// SDL host: frames shown through SDL's renderer, a streaming texture scaled by whole numbers.
// Paced by the renderer's vertical sync, or by the clock where SDL only claims one.
#include "platform/sdl/sdl_host.h"
#include "platform/sdl/sdl_way.h"

static SDL_Renderer *renderer;  // made with the flip chain
static SDL_Texture *texture;    // the back buffer's copy on the renderer's side
static bool textureFilled;      // the texture holds a frame that was shown
static SDL_Window *paced;       // the window whose refresh paces presents by the clock; NULL: vsync does
static Uint64 nextFrame;        // when the next frame is due, in counter ticks, when paced by the clock

// Black, then the texture's frame once there is one, whole-number scaled.
static void Render()
{
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (textureFilled)
        SDL_RenderCopy(renderer, texture, NULL, NULL);
    SDL_RenderPresent(renderer);
}

// What draws a renderer's pictures when that is the processor: SDL's own software renderer, or
// OpenGL on a software rasterizer such as Mesa's llvmpipe, which costs far more than a copy.
// Empty when a GPU draws them.
static std::string ProcessorDrawing(SDL_Renderer *candidate)
{
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(candidate, &info) != 0 || !(info.flags & SDL_RENDERER_ACCELERATED))
        return "SDL's software renderer";
    if (SDL_strncmp(info.name, "opengl", 6) != 0)
        return "";
    typedef const unsigned char *(*GetString)(unsigned name);
    GetString getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const char *name = getString ? reinterpret_cast<const char *>(getString(0x1F01)) : NULL;  // GL_RENDERER
    return name && (SDL_strstr(name, "llvmpipe") || SDL_strstr(name, "softpipe") ||
                    SDL_strstr(name, "Software Rasterizer"))
               ? name : "";
}

// Whether SDL can load OpenGL here; its reason in *why when not.
static bool OpenGlLoads(std::string *why)
{
    if (SDL_GL_LoadLibrary(NULL) != 0) {
        *why = "no OpenGL: " + SDLHOST_Failed("SDL_GL_LoadLibrary");
        return false;
    }
    SDL_GL_UnloadLibrary();
    return true;
}

// SDL's renderer for the window. SDL 2.32 crashes trying OpenGL on a Wayland window where
// OpenGL cannot be loaded, so there SDL is given no choice but its software renderer.
static bool MakeRenderer(SDL_Window *window, std::string *why)
{
    int index = -1;
    std::string noGl;
    if (!OpenGlLoads(&noGl)) {
        SDL_RendererInfo info;
        for (int i = 0; index < 0 && i < SDL_GetNumRenderDrivers(); ++i)
            if (SDL_GetRenderDriverInfo(i, &info) == 0 && SDL_strcmp(info.name, "software") == 0)
                index = i;
        if (index < 0) {
            *why = noGl + ", and SDL has no software renderer";
            return false;
        }
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // A flip waits for the vertical blank, as DirectDraw's does.
    renderer = SDL_CreateRenderer(window, index, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer)
        *why = SDLHOST_Failed("SDL_CreateRenderer") + (noGl.empty() ? "" : " (" + noGl + ")");
    return renderer != NULL;
}

static bool UseRenderer(int width, int height, std::string *why)
{
    if (SDL_RenderSetLogicalSize(renderer, width, height) != 0 ||
        SDL_RenderSetIntegerScale(renderer, SDL_TRUE) != 0) {
        *why = SDLHOST_Failed("SDL_RenderSetLogicalSize");
        return false;
    }
    // SDL's software renderer says it waits for the vertical blank, and never does.
    SDL_RendererInfo info;
    const bool vsync = SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC) &&
                       SDL_strcmp(info.name, "software") != 0;
    paced = vsync ? NULL : SDL_RenderGetWindow(renderer);
    nextFrame = SDL_GetPerformanceCounter();
    // RGB888 ignores the top byte of each pixel, as a 32-bit display mode does.
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture) {
        *why = SDLHOST_Failed("SDL_CreateTexture");
        return false;
    }
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    // The screen goes black with the new chain, until the first flip.
    textureFilled = false;
    Render();
    return true;
}

// Where a GPU draws: the cheapest way of all, so the chain asks first.
static bool RendererOnGpu(SDL_Window *window, int width, int height, std::string *why)
{
    if (!OpenGlLoads(why) || !MakeRenderer(window, why))
        return false;
    const std::string drawer = ProcessorDrawing(renderer);
    if (!drawer.empty()) {
        *why = "drawn by the processor: " + drawer;
        return false;
    }
    return UseRenderer(width, height, why);
}

// Whatever draws it: the last way, which works wherever SDL can draw at all.
static bool AnyRenderer(SDL_Window *window, int width, int height, std::string *why)
{
    return MakeRenderer(window, why) && UseRenderer(width, height, why);
}

static HRESULT RendererPresent(const uint8_t *pixels, LONG pitch)
{
    // Uploaded whole: a locked streaming texture is write-only.
    if (SDL_UpdateTexture(texture, NULL, pixels, pitch) != 0)
        return DDERR_GENERIC;
    textureFilled = true;
    Render();
    if (paced)
        WAY_Pace(paced, &nextFrame);
    return DD_OK;
}

static void RendererShowAgain(const uint8_t *, LONG)
{
    Render();
}

static void RendererDrop()
{
    if (texture)
        SDL_DestroyTexture(texture);
    if (renderer)
        SDL_DestroyRenderer(renderer);
    texture = NULL;
    renderer = NULL;
    textureFilled = false;
    paced = NULL;
}

const WAY_Way WAY_RendererOnGpu = {NULL, "SDL's renderer on a GPU", RendererOnGpu, RendererPresent,
                                   RendererShowAgain, NULL, NULL, RendererDrop};
const WAY_Way WAY_AnyRenderer = {"renderer", "SDL's renderer", AnyRenderer, RendererPresent,
                                  RendererShowAgain, NULL, NULL, RendererDrop};

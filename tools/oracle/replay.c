/*
 * replay.exe TRACEDIR OUTDIR
 *
 * Plays a Korvane device trace (docs/device-trace.md) on the Direct3D 8
 * runtime it runs on, and writes the back buffer before every present as
 * OUTDIR/frame_NNNN.ppm (binary RGB, top row first, NNNN from 0).
 *
 * Exit status: 0 done; 1 the runtime refused what the replay needs (no
 * device, an object it will not create, a frame it cannot read or write);
 * 2 the trace is malformed: stderr says "trace.txt:LINE: reason".
 *
 * A call the runtime itself rejects while drawing (a state it does not know)
 * is only a warning: the program's own device got the same call.
 *
 * Textures and vertex buffers live in the managed pool whatever the trace
 * says: only what draws see matters. Draws read from real vertex buffers
 * bound with SetStreamSource, so that state blocks record and apply the
 * stream as the runtime does. Indexed draws go through one index buffer of
 * ours, bound once before anything is recorded, so that no state block
 * ever holds it.
 */
#include <windows.h>
#include <d3d8.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { LINE_MAX_CHARS = 16384, FIELDS_MAX = 32, STAGES = 8, LIGHTS = 8 };
enum { INDEX_TRIANGLES = 65535 }; /* per DrawIndexedPrimitive */
enum { KIND_TEXTURE = 1, KIND_BUFFER, KIND_BLOCK };

typedef struct {
    DWORD id;
    int kind;
    IDirect3DTexture8 *texture;
    IDirect3DVertexBuffer8 *buffer;
    DWORD bytes, levels, width, height, format;
    DWORD token; /* a state block's */
} Object;

static struct {
    const char *dir, *out;
    int line;
    char *field[FIELDS_MAX];
    int fields;
    IDirect3D8 *d3d;
    IDirect3DDevice8 *device;
    IDirect3DIndexBuffer8 *indices;
    DWORD width, height;
    int presents;
    int recording;
    Object *objects;
    int count, capacity;
} r;

static void finish(int status)
{
    int i;
    for (i = r.count - 1; i >= 0; --i) {
        Object *o = &r.objects[i];
        if (o->texture) IDirect3DTexture8_Release(o->texture);
        if (o->buffer) IDirect3DVertexBuffer8_Release(o->buffer);
        if (o->token && r.device) IDirect3DDevice8_DeleteStateBlock(r.device, o->token);
    }
    /* Wine's d3d8 does not always survive objects left to the process exit. */
    if (r.indices) IDirect3DIndexBuffer8_Release(r.indices);
    if (r.device) IDirect3DDevice8_Release(r.device);
    if (r.d3d) IDirect3D8_Release(r.d3d);
    fflush(stdout);
    exit(status);
}

static void malformed(const char *format, ...)
{
    va_list args;
    fprintf(stderr, "trace.txt:%d: ", r.line);
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    finish(2);
}

static void refused(const char *what, HRESULT hr)
{
    fprintf(stderr, "trace.txt:%d: %s failed (0x%08lx)\n", r.line, what, (unsigned long)hr);
    finish(1);
}

static void warn(const char *what, HRESULT hr)
{
    if (FAILED(hr))
        fprintf(stderr, "trace.txt:%d: warning: %s returned 0x%08lx\n", r.line, what,
                (unsigned long)hr);
}

/* ---- fields ---- */

static DWORD number(int i)
{
    const char *s = r.field[i];
    unsigned long long v = 0;
    if (!*s) malformed("field %d is empty", i);
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') malformed("field %d ('%s') is not an unsigned integer", i, r.field[i]);
        v = v * 10 + (unsigned)(*s - '0');
        if (v > 0xFFFFFFFFull) malformed("field %d ('%s') is larger than 32 bits", i, r.field[i]);
    }
    return (DWORD)v;
}

static DWORD bounded(int i, DWORD most, const char *what)
{
    DWORD v = number(i);
    if (v > most) malformed("%s %lu is out of range (0 to %lu)", what, (unsigned long)v, (unsigned long)most);
    return v;
}

static float real(int i)
{
    const char *s = r.field[i], *digits = s + (*s == '-' || *s == '+');
    char *end;
    double v;
    if (!_stricmp(digits, "inf") || !_stricmp(digits, "infinity")) return *s == '-' ? -INFINITY : INFINITY;
    if (!_stricmp(digits, "nan")) return NAN;
    if (!(*digits == '.' || (*digits >= '0' && *digits <= '9'))) malformed("field %d ('%s') is not a number", i, s);
    v = strtod(s, &end);
    if (*end) malformed("field %d ('%s') is not a number", i, s);
    return (float)v;
}

static D3DCOLORVALUE colour(int i)
{
    D3DCOLORVALUE c;
    c.r = real(i);
    c.g = real(i + 1);
    c.b = real(i + 2);
    c.a = real(i + 3);
    return c;
}

/* ---- objects ---- */

static Object *find(DWORD id, int blocks)
{
    int i;
    for (i = 0; i < r.count; ++i)
        if (r.objects[i].id == id && (r.objects[i].kind == KIND_BLOCK) == blocks) return &r.objects[i];
    return NULL;
}

static Object *create(int kind)
{
    DWORD id = number(1);
    Object *o;
    if (!id) malformed("id 0 means none and names no object");
    if (find(id, kind == KIND_BLOCK)) malformed("id %lu is already in use", (unsigned long)id);
    if (r.count == r.capacity) {
        int more = r.capacity ? 2 * r.capacity : 64;
        Object *grown = realloc(r.objects, (size_t)more * sizeof *grown);
        if (!grown) refused("memory", E_OUTOFMEMORY);
        r.objects = grown;
        r.capacity = more;
    }
    o = &r.objects[r.count++];
    memset(o, 0, sizeof *o);
    o->id = id;
    o->kind = kind;
    return o;
}

static Object *live(int i, int kind)
{
    Object *o = find(number(i), kind == KIND_BLOCK);
    if (!o || o->kind != kind)
        malformed("%s is not a live %s", r.field[i],
                  kind == KIND_TEXTURE ? "texture" : kind == KIND_BUFFER ? "vertex buffer" : "state block");
    return o;
}

static void forget(Object *o) { *o = r.objects[--r.count]; }

/* The whole of data file `name`, which must hold exactly `bytes` bytes. */
static unsigned char *data(const char *name, DWORD bytes)
{
    char path[MAX_PATH * 2];
    unsigned char *buffer;
    const char *c;
    FILE *f;
    long size;
    for (c = name; *c; ++c)
        if (*c == '/' || *c == '\\' || *c == ':' || (unsigned char)*c < 32 || (unsigned char)*c > 126)
            malformed("data file name '%s' is not a plain name inside the trace folder", name);
    if (!strcmp(name, ".") || !strcmp(name, "..")) malformed("data file name '%s' is not a file", name);
    snprintf(path, sizeof path, "%s\\%s", r.dir, name);
    if (!(f = fopen(path, "rb"))) malformed("data file %s cannot be opened", name);
    fseek(f, 0, SEEK_END);
    size = ftell(f);
    fseek(f, 0, SEEK_SET);
    if (size != (long)bytes) {
        fclose(f);
        malformed("data file %s holds %ld bytes, not %lu", name, size, (unsigned long)bytes);
    }
    if (!(buffer = malloc(bytes ? bytes : 1))) refused("memory", E_OUTOFMEMORY);
    if (bytes && fread(buffer, 1, bytes, f) != bytes) {
        fclose(f);
        malformed("data file %s cannot be read", name);
    }
    fclose(f);
    return buffer;
}

/* ---- formats ---- */

static int compressed(DWORD format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ||
           format == D3DFMT_DXT4 || format == D3DFMT_DXT5;
}

/* Bytes per pixel, or per 4x4 block of the compressed formats; 0: unknown. */
static DWORD pixelBytes(DWORD format)
{
    switch (format) {
    case 28: case 50: return 1;                               /* A8, L8 */
    case 23: case 24: case 25: case 26: case 30:              /* 16-bit RGB */
    case 51: case 60: case 61: return 2;                      /* A8L8, V8U8, L6V5U5 */
    case 21: case 22: case 31: case 34:                       /* 32-bit RGB, G16R16 */
    case 62: case 63: case 64: return 4;                      /* X8L8V8U8, Q8W8V8U8, V16U16 */
    case 20: case 27: case 29: case 52: return 0;             /* refused by the runtime */
    default: return format == D3DFMT_DXT1 ? 8 : compressed(format) ? 16 : 0;
    }
}

/* ---- the calls ---- */

static void onTexture(void)
{
    Object *o = create(KIND_TEXTURE);
    DWORD width = number(2), height = number(3), levels = number(4), format = number(5);
    HRESULT hr;
    if (!width || !height || width > 16384 || height > 16384) malformed("texture size %lux%lu is out of range", (unsigned long)width, (unsigned long)height);
    if (!levels) /* a full chain, as CreateTexture takes 0 */
        for (levels = 1; (width >> levels) + (height >> levels) > 0; ++levels) {}
    if (levels > 15 || (width >> (levels - 1)) + (height >> (levels - 1)) == 0)
        malformed("a %lux%lu texture cannot have %lu levels", (unsigned long)width, (unsigned long)height, (unsigned long)levels);
    if (!pixelBytes(format) && format != 20 && format != 27 && format != 29 && format != 52)
        malformed("texture format %lu is not one a trace may use", (unsigned long)format);
    hr = IDirect3DDevice8_CreateTexture(r.device, width, height, levels, 0, (D3DFORMAT)format, D3DPOOL_MANAGED, &o->texture);
    if (FAILED(hr)) refused("CreateTexture", hr);
    o->width = width;
    o->height = height;
    o->levels = levels;
    o->format = format;
}

static void onTexlevel(void)
{
    Object *o = live(1, KIND_TEXTURE);
    DWORD level = number(2), w, h, rowBytes, rows, y;
    D3DLOCKED_RECT locked;
    unsigned char *content;
    HRESULT hr;
    if (level >= o->levels) malformed("texture %lu has no level %lu", (unsigned long)o->id, (unsigned long)level);
    w = max(1, o->width >> level);
    h = max(1, o->height >> level);
    rowBytes = compressed(o->format) ? (w + 3) / 4 * pixelBytes(o->format) : w * pixelBytes(o->format);
    rows = compressed(o->format) ? (h + 3) / 4 : h;
    content = data(r.field[3], rowBytes * rows);
    hr = IDirect3DTexture8_LockRect(o->texture, level, &locked, NULL, 0);
    if (FAILED(hr)) refused("LockRect of a texture level", hr);
    for (y = 0; y < rows; ++y)
        memcpy((unsigned char *)locked.pBits + (size_t)y * locked.Pitch, content + (size_t)y * rowBytes, rowBytes);
    IDirect3DTexture8_UnlockRect(o->texture, level);
    free(content);
}

static void onVbuffer(void)
{
    Object *o = create(KIND_BUFFER);
    DWORD bytes = number(2), usage = number(3), fvf = number(4);
    HRESULT hr;
    if (!bytes) malformed("a vertex buffer of 0 bytes");
    /* Dynamic buffers cannot be managed; what draws read is the same. */
    usage &= ~(DWORD)D3DUSAGE_DYNAMIC;
    hr = IDirect3DDevice8_CreateVertexBuffer(r.device, bytes, usage, fvf, D3DPOOL_MANAGED, &o->buffer);
    if (FAILED(hr)) refused("CreateVertexBuffer", hr);
    o->bytes = bytes;
}

static void onVbdata(void)
{
    Object *o = live(1, KIND_BUFFER);
    unsigned char *content = data(r.field[2], o->bytes);
    BYTE *at;
    HRESULT hr = IDirect3DVertexBuffer8_Lock(o->buffer, 0, 0, &at, 0);
    if (FAILED(hr)) refused("Lock of a vertex buffer", hr);
    memcpy(at, content, o->bytes);
    IDirect3DVertexBuffer8_Unlock(o->buffer);
    free(content);
}

static void onRelease(void)
{
    Object *o = find(number(1), 0);
    if (!o) malformed("%s is not a live texture or vertex buffer", r.field[1]);
    if (o->texture) IDirect3DTexture8_Release(o->texture);
    if (o->buffer) IDirect3DVertexBuffer8_Release(o->buffer);
    forget(o);
}

static void onRs(void) { warn("SetRenderState", IDirect3DDevice8_SetRenderState(r.device, (D3DRENDERSTATETYPE)number(1), number(2))); }

static void onTss(void)
{
    DWORD stage = bounded(1, STAGES - 1, "stage");
    warn("SetTextureStageState", IDirect3DDevice8_SetTextureStageState(r.device, stage, (D3DTEXTURESTAGESTATETYPE)number(2), number(3)));
}

static void onTransform(void)
{
    D3DMATRIX m;
    int i;
    for (i = 0; i < 16; ++i) m.m[i / 4][i % 4] = real(2 + i);
    warn("SetTransform", IDirect3DDevice8_SetTransform(r.device, (D3DTRANSFORMSTATETYPE)number(1), &m));
}

static void onMaterial(void)
{
    D3DMATERIAL8 m;
    m.Diffuse = colour(1);
    m.Ambient = colour(5);
    m.Specular = colour(9);
    m.Emissive = colour(13);
    m.Power = real(17);
    warn("SetMaterial", IDirect3DDevice8_SetMaterial(r.device, &m));
}

static void onLight(void)
{
    D3DLIGHT8 l;
    DWORD index = bounded(1, 0xFFFF, "light index");
    l.Type = (D3DLIGHTTYPE)bounded(2, 3, "light type");
    l.Diffuse = colour(3);
    l.Specular = colour(7);
    l.Ambient = colour(11);
    l.Position.x = real(15); l.Position.y = real(16); l.Position.z = real(17);
    l.Direction.x = real(18); l.Direction.y = real(19); l.Direction.z = real(20);
    l.Range = real(21);
    l.Falloff = real(22);
    l.Attenuation0 = real(23);
    l.Attenuation1 = real(24);
    l.Attenuation2 = real(25);
    l.Theta = real(26);
    l.Phi = real(27);
    warn("SetLight", IDirect3DDevice8_SetLight(r.device, index, &l));
}

static void onLightenable(void)
{
    DWORD index = bounded(1, 0xFFFF, "light index");
    warn("LightEnable", IDirect3DDevice8_LightEnable(r.device, index, bounded(2, 1, "light switch")));
}

static void onSettexture(void)
{
    DWORD stage = bounded(1, STAGES - 1, "stage");
    IDirect3DBaseTexture8 *t = number(2) ? (IDirect3DBaseTexture8 *)live(2, KIND_TEXTURE)->texture : NULL;
    warn("SetTexture", IDirect3DDevice8_SetTexture(r.device, stage, t));
}

static void onStream(void)
{
    IDirect3DVertexBuffer8 *b = number(1) ? live(1, KIND_BUFFER)->buffer : NULL;
    warn("SetStreamSource", IDirect3DDevice8_SetStreamSource(r.device, 0, b, number(2)));
}

static void onFvf(void) { warn("SetVertexShader", IDirect3DDevice8_SetVertexShader(r.device, number(1))); }

static void onBeginstateblock(void)
{
    if (r.recording) malformed("a state block is already being recorded");
    warn("BeginStateBlock", IDirect3DDevice8_BeginStateBlock(r.device));
    r.recording = 1;
}

static void onEndstateblock(void)
{
    Object *o;
    if (!r.recording) malformed("no state block is being recorded");
    o = create(KIND_BLOCK);
    r.recording = 0;
    warn("EndStateBlock", IDirect3DDevice8_EndStateBlock(r.device, &o->token));
}

static void onCapturestateblock(void)
{
    Object *o = live(1, KIND_BLOCK);
    if (o->token) warn("CaptureStateBlock", IDirect3DDevice8_CaptureStateBlock(r.device, o->token));
}

static void onApplystateblock(void)
{
    Object *o = live(1, KIND_BLOCK);
    if (o->token) warn("ApplyStateBlock", IDirect3DDevice8_ApplyStateBlock(r.device, o->token));
}

static void onDeletestateblock(void)
{
    Object *o = live(1, KIND_BLOCK);
    if (o->token) warn("DeleteStateBlock", IDirect3DDevice8_DeleteStateBlock(r.device, o->token));
    forget(o);
}

static void onClear(void)
{
    warn("Clear", IDirect3DDevice8_Clear(r.device, 0, NULL, number(1), number(2), real(3), number(4)));
}

static void onBeginscene(void) { warn("BeginScene", IDirect3DDevice8_BeginScene(r.device)); }
static void onEndscene(void) { warn("EndScene", IDirect3DDevice8_EndScene(r.device)); }

/* How many whole vertices the buffer bound on the device holds. */
static DWORD boundVertices(void)
{
    IDirect3DVertexBuffer8 *b = NULL;
    D3DVERTEXBUFFER_DESC desc;
    UINT stride = 0;
    IDirect3DDevice8_GetStreamSource(r.device, 0, &b, &stride);
    if (!b) malformed("a draw with no vertex buffer bound");
    IDirect3DVertexBuffer8_GetDesc(b, &desc);
    IDirect3DVertexBuffer8_Release(b);
    if (!stride) malformed("a draw with a stride of 0");
    return desc.Size / stride;
}

static void onDraw(void)
{
    DWORD type = number(1), start = number(2), count = number(3);
    unsigned long long need;
    switch (type) {
    case D3DPT_POINTLIST: need = count; break;
    case D3DPT_LINELIST: need = 2ull * count; break;
    case D3DPT_LINESTRIP: need = count + 1ull; break;
    case D3DPT_TRIANGLELIST: need = 3ull * count; break;
    case D3DPT_TRIANGLESTRIP: case D3DPT_TRIANGLEFAN: need = count + 2ull; break;
    default: malformed("primitive type %lu is not one of 1 to 6", (unsigned long)type); return;
    }
    if (!count) return;
    if (start + need > boundVertices())
        malformed("the draw reads vertices %lu to %llu; the bound buffer holds %lu", (unsigned long)start,
                  start + need - 1, (unsigned long)boundVertices());
    warn("DrawPrimitive", IDirect3DDevice8_DrawPrimitive(r.device, (D3DPRIMITIVETYPE)type, start, count));
}

static void onDrawindexed(void)
{
    DWORD count = number(1), vertices, done, i;
    DWORD *indices;
    if (count > 0x10000000) malformed("%lu triangles are too many", (unsigned long)count);
    indices = (DWORD *)data(r.field[2], count * 12);
    vertices = count ? boundVertices() : 0;
    for (i = 0; i < 3 * count; ++i)
        if (indices[i] >= vertices)
            malformed("index %lu (%lu) lies past the %lu vertices of the bound buffer", (unsigned long)i,
                      (unsigned long)indices[i], (unsigned long)vertices);
    for (done = 0; done < count;) {
        DWORD chunk = min(count - done, (DWORD)INDEX_TRIANGLES);
        BYTE *at;
        HRESULT hr = IDirect3DIndexBuffer8_Lock(r.indices, 0, chunk * 12, &at, D3DLOCK_DISCARD);
        if (FAILED(hr)) refused("Lock of the index buffer", hr);
        memcpy(at, indices + 3 * (size_t)done, chunk * 12);
        IDirect3DIndexBuffer8_Unlock(r.indices);
        warn("DrawIndexedPrimitive", IDirect3DDevice8_DrawIndexedPrimitive(r.device, D3DPT_TRIANGLELIST, 0, vertices, 0, chunk));
        done += chunk;
    }
    free(indices);
}

static void onPresent(void)
{
    IDirect3DSurface8 *back = NULL;
    D3DLOCKED_RECT locked;
    char path[MAX_PATH * 2];
    unsigned char *row;
    DWORD x, y;
    HRESULT hr;
    FILE *f;
    hr = IDirect3DDevice8_GetBackBuffer(r.device, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    if (FAILED(hr)) refused("GetBackBuffer", hr);
    hr = IDirect3DSurface8_LockRect(back, &locked, NULL, D3DLOCK_READONLY);
    if (FAILED(hr)) refused("LockRect of the back buffer", hr);
    snprintf(path, sizeof path, "%s\\frame_%04d.ppm", r.out, r.presents);
    if (!(f = fopen(path, "wb"))) refused("writing a frame", E_FAIL);
    if (!(row = malloc(r.width * 3))) refused("memory", E_OUTOFMEMORY);
    fprintf(f, "P6\n%lu %lu\n255\n", (unsigned long)r.width, (unsigned long)r.height);
    for (y = 0; y < r.height; ++y) {
        const unsigned char *in = (const unsigned char *)locked.pBits + (size_t)y * locked.Pitch;
        for (x = 0; x < r.width; ++x) { /* X8R8G8B8: B, G, R, X in memory */
            row[3 * x] = in[4 * x + 2];
            row[3 * x + 1] = in[4 * x + 1];
            row[3 * x + 2] = in[4 * x];
        }
        fwrite(row, 1, r.width * 3, f);
    }
    free(row);
    if (fclose(f)) refused("writing a frame", E_FAIL);
    IDirect3DSurface8_UnlockRect(back);
    IDirect3DSurface8_Release(back);
    ++r.presents;
    warn("Present", IDirect3DDevice8_Present(r.device, NULL, NULL, NULL, NULL));
}

static const struct {
    const char *name;
    int fields; /* after the name */
    void (*run)(void);
} calls[] = {
    {"texture", 7, onTexture},       {"texlevel", 3, onTexlevel},
    {"release", 1, onRelease},       {"vbuffer", 5, onVbuffer},
    {"vbdata", 2, onVbdata},         {"rs", 2, onRs},
    {"tss", 3, onTss},               {"transform", 17, onTransform},
    {"material", 17, onMaterial},    {"light", 27, onLight},
    {"lightenable", 2, onLightenable}, {"settexture", 2, onSettexture},
    {"stream", 2, onStream},         {"fvf", 1, onFvf},
    {"beginstateblock", 0, onBeginstateblock}, {"endstateblock", 1, onEndstateblock},
    {"capturestateblock", 1, onCapturestateblock}, {"applystateblock", 1, onApplystateblock},
    {"deletestateblock", 1, onDeletestateblock}, {"clear", 4, onClear},
    {"beginscene", 0, onBeginscene}, {"endscene", 0, onEndscene},
    {"draw", 3, onDraw},             {"drawindexed", 2, onDrawindexed},
    {"present", 0, onPresent},
};

/* ---- the device ---- */

static void createDevice(void)
{
    D3DPRESENT_PARAMETERS pp;
    D3DCAPS8 caps;
    RECT frame;
    IDirect3D8 *(WINAPI *create)(UINT);
    HMODULE library;
    HWND window;
    HRESULT hr;
    DWORD flags;
    r.width = number(1);
    r.height = number(2);
    if (!r.width || !r.height || r.width > 8192 || r.height > 8192)
        malformed("a back buffer of %lux%lu", (unsigned long)r.width, (unsigned long)r.height);
    SetRect(&frame, 0, 0, (int)r.width, (int)r.height);
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    window = CreateWindowA("STATIC", "replay", WS_OVERLAPPEDWINDOW, 0, 0, frame.right - frame.left,
                           frame.bottom - frame.top, NULL, NULL, GetModuleHandleA(NULL), NULL);
    if (!window) refused("CreateWindow", HRESULT_FROM_WIN32(GetLastError()));
    /* mingw-w64 has no import library for d3d8.dll. */
    library = LoadLibraryA("d3d8.dll");
    create = library ? (IDirect3D8 *(WINAPI *)(UINT))(void (*)(void))GetProcAddress(library, "Direct3DCreate8") : NULL;
    if (!create || !(r.d3d = create(D3D_SDK_VERSION))) refused("Direct3DCreate8", E_FAIL);
    memset(&pp, 0, sizeof pp);
    pp.BackBufferWidth = r.width;
    pp.BackBufferHeight = r.height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    IDirect3D8_GetDeviceCaps(r.d3d, D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    flags = caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                         : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    hr = IDirect3D8_CreateDevice(r.d3d, D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, flags, &pp, &r.device);
    if (FAILED(hr)) refused("CreateDevice", hr);
    hr = IDirect3DDevice8_CreateIndexBuffer(r.device, INDEX_TRIANGLES * 12, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                                            D3DFMT_INDEX32, D3DPOOL_DEFAULT, &r.indices);
    if (FAILED(hr)) refused("CreateIndexBuffer", hr);
    hr = IDirect3DDevice8_SetIndices(r.device, r.indices, 0);
    if (FAILED(hr)) refused("SetIndices", hr);
}

/* The next line split into fields; 0 at the end of the file. */
static int nextLine(FILE *f, char *line)
{
    char *c;
    size_t length;
    if (!fgets(line, LINE_MAX_CHARS, f)) return 0;
    ++r.line;
    length = strlen(line);
    if (length == LINE_MAX_CHARS - 1 && line[length - 1] != '\n' && !feof(f))
        malformed("the line is longer than %d characters", LINE_MAX_CHARS - 2);
    r.fields = 0;
    for (c = strtok(line, " \t\r\n"); c; c = strtok(NULL, " \t\r\n")) {
        if (r.fields == FIELDS_MAX) malformed("more than %d fields", FIELDS_MAX - 1);
        r.field[r.fields++] = c;
    }
    return 1;
}

static void replay(FILE *f)
{
    static char line[LINE_MAX_CHARS];
    int seen = 0, i;
    while (nextLine(f, line)) {
        if (!r.fields || (seen && r.field[0][0] == '#')) continue;
        if (seen == 0) {
            if (r.fields != 2 || strcmp(r.field[0], "korvane-device-trace") || strcmp(r.field[1], "1"))
                malformed("the first line must be 'korvane-device-trace 1'");
        } else if (seen == 1) {
            if (r.fields != 3 || strcmp(r.field[0], "device")) malformed("the second line must be 'device W H'");
            createDevice();
        } else {
            for (i = 0; i < (int)(sizeof calls / sizeof *calls) && strcmp(calls[i].name, r.field[0]); ++i) {}
            if (i == (int)(sizeof calls / sizeof *calls)) malformed("'%s' is no call of a trace", r.field[0]);
            if (r.fields - 1 != calls[i].fields)
                malformed("'%s' takes %d fields, not %d", r.field[0], calls[i].fields, r.fields - 1);
            calls[i].run();
        }
        if (seen < 2) ++seen;
    }
    if (ferror(f)) malformed("trace.txt cannot be read");
    if (seen < 2) {
        ++r.line;
        malformed("the trace ends before its 'device' line");
    }
}

int main(int argc, char **argv)
{
    char path[MAX_PATH * 2];
    FILE *f;
    if (argc != 3) {
        fprintf(stderr, "usage: replay TRACEDIR OUTDIR\n");
        return 2;
    }
    r.dir = argv[1];
    r.out = argv[2];
    CreateDirectoryA(r.out, NULL);
    snprintf(path, sizeof path, "%s\\trace.txt", r.dir);
    if (!(f = fopen(path, "rb"))) {
        fprintf(stderr, "%s cannot be opened\n", path);
        return 2;
    }
    replay(f);
    fclose(f);
    printf("%d frames\n", r.presents);
    finish(0);
    return 0;
}

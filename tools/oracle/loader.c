/*
 * loader.exe LIST
 *
 * Loads .x meshes and pictures with the Direct3D utility library it runs on,
 * with the calls and arguments the layers' loaders use, and writes what the
 * library made as one JSON document per file (tools/oracle/loaders.py reads
 * them).
 *
 * LIST holds one file a line: "mesh" or "picture", a tab, the file, a tab,
 * the JSON to write. Names that begin with '/' are taken as on drive Z:.
 *
 * A mesh: D3DXLoadMeshFromXA(file, SYSTEMMEM, device, adjacency, materials),
 * Optimize(COMPACT | VERTEXCACHE | SYSTEMMEM, adjacency), then CloneMeshFVF
 * of the optimised mesh with its own options to XYZ | NORMAL | TEX2. Each
 * mesh's vertices are written as the bytes of its vertex buffer (hex), its
 * indices and its face attributes as numbers. Beside them "parts": each Mesh
 * object of the file as the library loads it alone, with the frame
 * transforms above it multiplied in both orders, which tells the reader
 * where the library's merging of parts can be trusted.
 *
 * A picture: D3DXCreateTextureFromFileA(device, file) with each level's
 * size, format and texel bytes (hex, rows packed); beside it "source", the
 * picture decoded at its own size into A8R8G8B8 without a filter.
 *
 * Exit status: 0 every file was written (a file the library refuses is
 * written with its "error"), 1 no device or an output that cannot be
 * written, 2 a malformed LIST.
 */
#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>
#include <d3dx9xof.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The file format's own GUIDs of the objects the mesh loader walks. */
static const GUID FRAME = {0x3D82AB46, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
static const GUID MESH = {0x3D82AB44, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
static const GUID TRANSFORM = {0xF6F23F41, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};

/* The basic templates, registered as the mesh loader registers them, so
 * that files which do not declare them can be walked. */
static const char TEMPLATES[] =
    "xof 0303txt 0032\n"
    "template Header { <3D82AB43-62DA-11CF-AB39-0020AF71E433> WORD major; WORD minor; DWORD flags; }\n"
    "template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }\n"
    "template Coords2d { <F6F23F44-7686-11CF-8F52-0040333594A3> FLOAT u; FLOAT v; }\n"
    "template Matrix4x4 { <F6F23F45-7686-11CF-8F52-0040333594A3> array FLOAT matrix[16]; }\n"
    "template ColorRGBA { <35FF44E0-6C7C-11CF-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; "
    "FLOAT alpha; }\n"
    "template ColorRGB { <D3E16E81-7835-11CF-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; }\n"
    "template IndexedColor { <1630B820-7842-11CF-8F52-0040333594A3> DWORD index; ColorRGBA indexColor; }\n"
    "template Boolean { <537DA6A0-CA37-11D0-941C-0080C80CFA7B> DWORD truefalse; }\n"
    "template Boolean2d { <4885AE63-78E8-11CF-8F52-0040333594A3> Boolean u; Boolean v; }\n"
    "template MaterialWrap { <4885AE60-78E8-11CF-8F52-0040333594A3> Boolean u; Boolean v; }\n"
    "template TextureFilename { <A42790E1-7810-11CF-8F52-0040333594A3> STRING filename; }\n"
    "template Material { <3D82AB4D-62DA-11CF-AB39-0020AF71E433> ColorRGBA faceColor; FLOAT power; "
    "ColorRGB specularColor; ColorRGB emissiveColor; [...] }\n"
    "template MeshFace { <3D82AB5F-62DA-11CF-AB39-0020AF71E433> DWORD nFaceVertexIndices; "
    "array DWORD faceVertexIndices[nFaceVertexIndices]; }\n"
    "template MeshFaceWraps { <ED1EC5C0-C0A8-11D0-941C-0080C80CFA7B> DWORD nFaceWrapValues; "
    "array Boolean2d faceWrapValues[nFaceWrapValues]; }\n"
    "template MeshTextureCoords { <F6F23F40-7686-11CF-8F52-0040333594A3> DWORD nTextureCoords; "
    "array Coords2d textureCoords[nTextureCoords]; }\n"
    "template MeshMaterialList { <F6F23F42-7686-11CF-8F52-0040333594A3> DWORD nMaterials; "
    "DWORD nFaceIndexes; array DWORD faceIndexes[nFaceIndexes]; [Material] }\n"
    "template MeshNormals { <F6F23F43-7686-11CF-8F52-0040333594A3> DWORD nNormals; "
    "array Vector normals[nNormals]; DWORD nFaceNormals; array MeshFace faceNormals[nFaceNormals]; }\n"
    "template MeshVertexColors { <1630B821-7842-11CF-8F52-0040333594A3> DWORD nVertexColors; "
    "array IndexedColor vertexColors[nVertexColors]; }\n"
    "template Mesh { <3D82AB44-62DA-11CF-AB39-0020AF71E433> DWORD nVertices; "
    "array Vector vertices[nVertices]; DWORD nFaces; array MeshFace faces[nFaces]; [...] }\n"
    "template FrameTransformMatrix { <F6F23F41-7686-11CF-8F52-0040333594A3> Matrix4x4 frameMatrix; }\n"
    "template Frame { <3D82AB46-62DA-11CF-AB39-0020AF71E433> [...] }\n"
    "template FloatKeys { <10DD46A9-775B-11CF-8F52-0040333594A3> DWORD nValues; "
    "array FLOAT values[nValues]; }\n"
    "template TimedFloatKeys { <F406B180-7B3B-11CF-8F52-0040333594A3> DWORD time; FloatKeys tfkeys; }\n"
    "template AnimationKey { <10DD46A8-775B-11CF-8F52-0040333594A3> DWORD keyType; DWORD nKeys; "
    "array TimedFloatKeys keys[nKeys]; }\n"
    "template AnimationOptions { <E2BF56C0-840F-11CF-8F52-0040333594A3> DWORD openclosed; "
    "DWORD positionquality; }\n"
    "template Animation { <3D82AB4F-62DA-11CF-AB39-0020AF71E433> [...] }\n"
    "template AnimationSet { <3D82AB50-62DA-11CF-AB39-0020AF71E433> [Animation] }\n";

enum { MESH_OPTIONS = 0x110, OPTIMIZE_FLAGS = 0x05000110, CLONE_FVF = 0x212 };
/* Wine's d3dx9 does not reorder for the vertex cache (E_NOTIMPL); that
 * ordering implies sorting by attribute, and the faces and vertices that
 * result are the same but for their order. */
enum { OPTIMIZE_WITHOUT_CACHE = 0x03000110 };

static IDirect3DDevice9 *device;
static FILE *out;

static void hex(const void *data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    const unsigned char *p = data;
    size_t i;
    fputc('"', out);
    for (i = 0; i < size; ++i) {
        fputc(digits[p[i] >> 4], out);
        fputc(digits[p[i] & 15], out);
    }
    fputc('"', out);
}

static void string(const char *s)
{
    fputc('"', out);
    for (; *s; ++s) {
        unsigned char c = (unsigned char)*s;
        if (c == '"' || c == '\\')
            fprintf(out, "\\%c", c);
        else if (c < 32 || c > 126)
            fprintf(out, "\\u%04x", c); /* the byte, as Latin-1 */
        else
            fputc(c, out);
    }
    fputc('"', out);
}

static void colour(const char *name, const D3DCOLORVALUE *c)
{
    fprintf(out, "\"%s\": [%.9g, %.9g, %.9g, %.9g]", name, c->r, c->g, c->b, c->a);
}

static void matrix(const char *name, const D3DXMATRIX *m)
{
    int i;
    fprintf(out, "\"%s\": [", name);
    for (i = 0; i < 16; ++i) fprintf(out, "%s%.9g", i ? ", " : "", m->m[i / 4][i % 4]);
    fputc(']', out);
}

/* ---- meshes ---- */

static void numbers(const char *name, const void *data, DWORD count, DWORD size)
{
    DWORD i;
    fprintf(out, "\"%s\": [", name);
    for (i = 0; i < count; ++i) {
        DWORD v = size == 2 ? ((const WORD *)data)[i] : ((const DWORD *)data)[i];
        fprintf(out, "%s%lu", i ? "," : "", (unsigned long)v);
    }
    fputc(']', out);
}

static void meshData(const char *name, ID3DXMesh *mesh)
{
    DWORD faces, vertices, stride, options;
    void *data;
    fprintf(out, ",\n\"%s\": ", name);
    if (!mesh) {
        fprintf(out, "null");
        return;
    }
    faces = mesh->lpVtbl->GetNumFaces(mesh);
    vertices = mesh->lpVtbl->GetNumVertices(mesh);
    stride = mesh->lpVtbl->GetNumBytesPerVertex(mesh);
    options = mesh->lpVtbl->GetOptions(mesh);
    fprintf(out, "{\"fvf\": %lu, \"stride\": %lu, \"options\": %lu, \"vertexcount\": %lu, \"facecount\": %lu",
            (unsigned long)mesh->lpVtbl->GetFVF(mesh), (unsigned long)stride, (unsigned long)options,
            (unsigned long)vertices, (unsigned long)faces);
    if (SUCCEEDED(mesh->lpVtbl->LockVertexBuffer(mesh, D3DLOCK_READONLY, &data))) {
        fprintf(out, ",\n \"vertices\": ");
        hex(data, (size_t)vertices * stride);
        mesh->lpVtbl->UnlockVertexBuffer(mesh);
    }
    if (SUCCEEDED(mesh->lpVtbl->LockIndexBuffer(mesh, D3DLOCK_READONLY, &data))) {
        fprintf(out, ",\n ");
        numbers("indices", data, 3 * faces, options & D3DXMESH_32BIT ? 4 : 2);
        mesh->lpVtbl->UnlockIndexBuffer(mesh);
    }
    if (SUCCEEDED(mesh->lpVtbl->LockAttributeBuffer(mesh, D3DLOCK_READONLY, (DWORD **)&data))) {
        fprintf(out, ",\n ");
        numbers("attributes", data, faces, 4);
        mesh->lpVtbl->UnlockAttributeBuffer(mesh);
    }
    fputc('}', out);
}

static void materials(ID3DXBuffer *buffer, DWORD count)
{
    const D3DXMATERIAL *m = buffer ? buffer->lpVtbl->GetBufferPointer(buffer) : NULL;
    DWORD i;
    fprintf(out, ",\n\"materials\": [");
    for (i = 0; m && i < count; ++i) {
        fprintf(out, "%s\n {", i ? "," : "");
        colour("diffuse", &m[i].MatD3D.Diffuse);
        fprintf(out, ", ");
        colour("ambient", &m[i].MatD3D.Ambient);
        fprintf(out, ", ");
        colour("specular", &m[i].MatD3D.Specular);
        fprintf(out, ", ");
        colour("emissive", &m[i].MatD3D.Emissive);
        fprintf(out, ", \"power\": %.9g, \"texture\": ", m[i].MatD3D.Power);
        if (m[i].pTextureFilename)
            string(m[i].pTextureFilename);
        else
            fprintf(out, "null");
        fputc('}', out);
    }
    fputc(']', out);
}

typedef struct {
    int count;
} Walk;

static HRESULT matrixOf(ID3DXFileData *data, D3DXMATRIX *m)
{
    SIZE_T size;
    const void *bytes;
    HRESULT hr = data->lpVtbl->Lock(data, &size, &bytes);
    if (FAILED(hr)) return hr;
    if (size < sizeof *m) hr = E_FAIL;
    else memcpy(m, bytes, sizeof *m);
    data->lpVtbl->Unlock(data);
    return hr;
}

/* One Mesh object as the library loads it alone, and where it is put:
 * "library" the frame transforms multiplied as the library multiplies them
 * (the outer frame's on the left), "nested" the inner frame's first. */
static void part(Walk *walk, ID3DXFileData *data, const D3DXMATRIX *library, const D3DXMATRIX *nested)
{
    ID3DXMesh *mesh = NULL;
    DWORD count = 0;
    HRESULT hr = D3DXLoadSkinMeshFromXof(data, MESH_OPTIONS, device, NULL, NULL, NULL, &count, NULL, &mesh);
    fprintf(out, "%s\n {\"loaded\": %s", walk->count++ ? "," : "", SUCCEEDED(hr) && mesh ? "true" : "false");
    if (mesh) {
        fprintf(out, ", \"fvf\": %lu, \"vertexcount\": %lu, \"facecount\": %lu, \"materialcount\": %lu",
                (unsigned long)mesh->lpVtbl->GetFVF(mesh), (unsigned long)mesh->lpVtbl->GetNumVertices(mesh),
                (unsigned long)mesh->lpVtbl->GetNumFaces(mesh), (unsigned long)count);
        mesh->lpVtbl->Release(mesh);
    }
    fprintf(out, ", ");
    matrix("library", library);
    fprintf(out, ", ");
    matrix("nested", nested);
    fputc('}', out);
}

static HRESULT frame(Walk *walk, ID3DXFileData *data, const D3DXMATRIX *library, const D3DXMATRIX *nested)
{
    D3DXMATRIX mine = *library, placed = *nested, local, parent = *nested;
    SIZE_T children, i;
    HRESULT hr = data->lpVtbl->GetChildren(data, &children);
    D3DXMatrixIdentity(&local);
    for (i = 0; SUCCEEDED(hr) && i < children; ++i) {
        ID3DXFileData *child;
        GUID type;
        if (FAILED(hr = data->lpVtbl->GetChild(data, i, &child))) break;
        if (SUCCEEDED(hr = child->lpVtbl->GetType(child, &type))) {
            if (IsEqualGUID(&type, &MESH)) {
                part(walk, child, &mine, &placed);
            } else if (IsEqualGUID(&type, &TRANSFORM)) {
                D3DXMATRIX m;
                if (SUCCEEDED(hr = matrixOf(child, &m))) {
                    D3DXMatrixMultiply(&mine, &mine, &m);
                    D3DXMatrixMultiply(&local, &local, &m);
                    D3DXMatrixMultiply(&placed, &local, &parent);
                }
            } else if (IsEqualGUID(&type, &FRAME)) {
                hr = frame(walk, child, &mine, &placed);
            }
        }
        child->lpVtbl->Release(child);
    }
    return hr;
}

/* Every Mesh object the mesh loader merges, in its order. */
static void parts(const char *file)
{
    ID3DXFile *x = NULL;
    ID3DXFileEnumObject *objects = NULL;
    D3DXMATRIX identity;
    Walk walk = {0};
    SIZE_T children, i;
    HRESULT hr;
    D3DXMatrixIdentity(&identity);
    fprintf(out, ",\n\"parts\": [");
    hr = D3DXFileCreate(&x);
    if (SUCCEEDED(hr)) hr = x->lpVtbl->RegisterTemplates(x, TEMPLATES, sizeof TEMPLATES - 1);
    if (SUCCEEDED(hr))
        hr = x->lpVtbl->CreateEnumObject(x, (void *)file, D3DXF_FILELOAD_FROMFILE, &objects);
    if (SUCCEEDED(hr)) hr = objects->lpVtbl->GetChildren(objects, &children);
    for (i = 0; SUCCEEDED(hr) && i < children; ++i) {
        ID3DXFileData *child;
        GUID type;
        if (FAILED(hr = objects->lpVtbl->GetChild(objects, i, &child))) break;
        if (SUCCEEDED(hr = child->lpVtbl->GetType(child, &type))) {
            if (IsEqualGUID(&type, &MESH))
                part(&walk, child, &identity, &identity);
            else if (IsEqualGUID(&type, &FRAME))
                hr = frame(&walk, child, &identity, &identity);
        }
        child->lpVtbl->Release(child);
    }
    fprintf(out, "],\n\"partserror\": %lu", (unsigned long)(FAILED(hr) ? hr : 0));
    if (objects) objects->lpVtbl->Release(objects);
    if (x) x->lpVtbl->Release(x);
}

static void mesh(const char *file)
{
    ID3DXBuffer *adjacency = NULL, *material = NULL;
    ID3DXMesh *loaded = NULL, *optimized = NULL, *clone = NULL;
    DWORD count = 0;
    HRESULT hr = D3DXLoadMeshFromXA(file, MESH_OPTIONS, device, &adjacency, &material, NULL, &count, &loaded);
    fprintf(out, "{\"kind\": \"mesh\", \"error\": %lu", (unsigned long)(FAILED(hr) ? hr : 0));
    if (SUCCEEDED(hr)) {
        /* As the layer does: results ignored, a failure leaves no mesh. */
        const DWORD *faces = adjacency->lpVtbl->GetBufferPointer(adjacency);
        DWORD flags = OPTIMIZE_FLAGS;
        if (FAILED(loaded->lpVtbl->Optimize(loaded, flags, faces, NULL, NULL, NULL, &optimized))) {
            flags = OPTIMIZE_WITHOUT_CACHE;
            loaded->lpVtbl->Optimize(loaded, flags, faces, NULL, NULL, NULL, &optimized);
        }
        fprintf(out, ", \"optimizeflags\": %lu", (unsigned long)flags);
        if (optimized)
            optimized->lpVtbl->CloneMeshFVF(optimized, optimized->lpVtbl->GetOptions(optimized), CLONE_FVF, device,
                                            &clone);
        fprintf(out, ", \"materialcount\": %lu", (unsigned long)count);
        materials(material, count);
        meshData("loaded", loaded);
        meshData("optimized", optimized);
        meshData("clone", clone);
    }
    parts(file);
    fprintf(out, "}\n");
    if (clone) clone->lpVtbl->Release(clone);
    if (optimized) optimized->lpVtbl->Release(optimized);
    if (loaded) loaded->lpVtbl->Release(loaded);
    if (material) material->lpVtbl->Release(material);
    if (adjacency) adjacency->lpVtbl->Release(adjacency);
}

/* ---- pictures ---- */

static int compressed(D3DFORMAT format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

static unsigned bitsPerTexel(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: case D3DFMT_A8B8G8R8: case D3DFMT_X8B8G8R8:
    case D3DFMT_A2R10G10B10: case D3DFMT_A2B10G10R10: case D3DFMT_G16R16: return 32;
    case D3DFMT_R8G8B8: return 24;
    case D3DFMT_R5G6B5: case D3DFMT_X1R5G5B5: case D3DFMT_A1R5G5B5: case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: case D3DFMT_A8L8: case D3DFMT_A8R3G3B2: case D3DFMT_A8P8: case D3DFMT_L16: return 16;
    case D3DFMT_DXT1: return 4;
    case D3DFMT_DXT2: case D3DFMT_DXT3: case D3DFMT_DXT4: case D3DFMT_DXT5: return 8;
    case D3DFMT_A16B16G16R16: return 64;
    default: return 8; /* L8, A8, P8, R3G3B2, A4L4 */
    }
}

/* A locked rectangle's rows, packed: block rows for compressed formats. */
static void texels(const D3DLOCKED_RECT *rect, D3DFORMAT format, UINT width, UINT height)
{
    UINT rows = compressed(format) ? (height + 3) / 4 : height, y;
    size_t row = compressed(format) ? (size_t)(width + 3) / 4 * 2 * bitsPerTexel(format)
                                    : ((size_t)width * bitsPerTexel(format) + 7) / 8;
    unsigned char *packed = malloc(row * rows + 1);
    if (!packed) {
        fprintf(out, "null");
        return;
    }
    for (y = 0; y < rows; ++y) memcpy(packed + y * row, (const unsigned char *)rect->pBits + y * rect->Pitch, row);
    hex(packed, row * rows);
    free(packed);
}

static void source(const char *file, const D3DXIMAGE_INFO *info)
{
    IDirect3DSurface9 *surface = NULL;
    D3DLOCKED_RECT rect;
    HRESULT hr = IDirect3DDevice9_CreateOffscreenPlainSurface(device, info->Width, info->Height, D3DFMT_A8R8G8B8,
                                                              D3DPOOL_SCRATCH, &surface, NULL);
    if (SUCCEEDED(hr)) hr = D3DXLoadSurfaceFromFileA(surface, NULL, NULL, file, NULL, D3DX_FILTER_NONE, 0, NULL);
    if (SUCCEEDED(hr)) hr = IDirect3DSurface9_LockRect(surface, &rect, NULL, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        fprintf(out, ",\n\"source\": {\"width\": %u, \"height\": %u, \"format\": %d, \"texels\": ", info->Width,
                info->Height, D3DFMT_A8R8G8B8);
        texels(&rect, D3DFMT_A8R8G8B8, info->Width, info->Height);
        fputc('}', out);
        IDirect3DSurface9_UnlockRect(surface);
    } else {
        fprintf(out, ",\n\"source\": null, \"sourceerror\": %lu", (unsigned long)hr);
    }
    if (surface) IDirect3DSurface9_Release(surface);
}

static void picture(const char *file)
{
    IDirect3DTexture9 *texture = NULL;
    D3DXIMAGE_INFO info;
    HRESULT hr = D3DXCreateTextureFromFileA(device, file, &texture);
    DWORD levels, i;
    fprintf(out, "{\"kind\": \"picture\", \"error\": %lu", (unsigned long)(FAILED(hr) ? hr : 0));
    if (SUCCEEDED(D3DXGetImageInfoFromFileA(file, &info))) {
        fprintf(out, ",\n\"file\": {\"width\": %u, \"height\": %u, \"format\": %d, \"filetype\": %d, \"levels\": %u}",
                info.Width, info.Height, info.Format, info.ImageFileFormat, info.MipLevels);
        source(file, &info);
    }
    if (SUCCEEDED(hr)) {
        levels = IDirect3DTexture9_GetLevelCount(texture);
        fprintf(out, ",\n\"levels\": [");
        for (i = 0; i < levels; ++i) {
            D3DSURFACE_DESC desc;
            D3DLOCKED_RECT rect;
            IDirect3DTexture9_GetLevelDesc(texture, i, &desc);
            fprintf(out, "%s\n {\"width\": %u, \"height\": %u, \"format\": %d, \"texels\": ", i ? "," : "",
                    desc.Width, desc.Height, desc.Format);
            if (SUCCEEDED(IDirect3DTexture9_LockRect(texture, i, &rect, NULL, D3DLOCK_READONLY))) {
                texels(&rect, desc.Format, desc.Width, desc.Height);
                IDirect3DTexture9_UnlockRect(texture, i);
            } else {
                fprintf(out, "null");
            }
            fputc('}', out);
        }
        fputc(']', out);
        IDirect3DTexture9_Release(texture);
    }
    fprintf(out, "}\n");
}

/* ---- the device and the list ---- */

static IDirect3D9 *createDevice(void)
{
    D3DPRESENT_PARAMETERS pp;
    IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    HWND window = CreateWindowA("STATIC", "loader", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    HRESULT hr;
    if (!d3d || !window) return NULL;
    memset(&pp, 0, sizeof pp);
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    hr = IDirect3D9_CreateDevice(d3d, D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
    if (FAILED(hr)) {
        fprintf(stderr, "loader: CreateDevice failed (0x%08lx)\n", (unsigned long)hr);
        IDirect3D9_Release(d3d);
        return NULL;
    }
    return d3d;
}

/* A name from the list as the runtime reads it. */
static void windowsName(const char *name, char *path, size_t size)
{
    snprintf(path, size, "%s%s", name[0] == '/' ? "Z:" : "", name);
}

int main(int argc, char **argv)
{
    static char line[3 * MAX_PATH * 2];
    char file[MAX_PATH * 2], json[MAX_PATH * 2];
    IDirect3D9 *d3d;
    FILE *list;
    int number = 0, status = 0;
    if (argc != 2) {
        fprintf(stderr, "usage: loader LIST\n");
        return 2;
    }
    windowsName(argv[1], file, sizeof file);
    if (!(list = fopen(file, "rb"))) {
        fprintf(stderr, "loader: %s cannot be opened\n", argv[1]);
        return 2;
    }
    if (!(d3d = createDevice())) return 1;
    while (fgets(line, sizeof line, list)) {
        char *kind = strtok(line, "\t\r\n"), *in = strtok(NULL, "\t\r\n"), *to = strtok(NULL, "\t\r\n");
        ++number;
        if (!kind) continue;
        if (!in || !to || (strcmp(kind, "mesh") && strcmp(kind, "picture"))) {
            fprintf(stderr, "loader: line %d is not KIND<tab>FILE<tab>JSON\n", number);
            status = 2;
            break;
        }
        windowsName(in, file, sizeof file);
        windowsName(to, json, sizeof json);
        if (!(out = fopen(json, "wb"))) {
            fprintf(stderr, "loader: %s cannot be written\n", to);
            status = 1;
            break;
        }
        /* The runtime's own messages on stderr follow the file's line. */
        fprintf(stderr, "loader: %s\n", in);
        fflush(stderr);
        if (!strcmp(kind, "mesh"))
            mesh(file);
        else
            picture(file);
        if (fclose(out)) status = 1;
    }
    fclose(list);
    IDirect3DDevice9_Release(device);
    IDirect3D9_Release(d3d);
    return status;
}

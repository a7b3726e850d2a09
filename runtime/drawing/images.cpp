// Numbered off-screen images: bitmaps compatible with the display, drawn on
// through one memory DC at a time.
#include "runtime/drawing/drawing_state.h"

namespace {

ImageLibraryState& Images() { return Drawing.images; }

// Sizes are kept in 16-bit fields, and GDI makes a 1 by 1 monochrome bitmap
// out of a zero size instead of failing, so both are refused up front.
bool IsUsableImageSize(int32_t width, int32_t height) {
    return width > 0 && height > 0 && width <= INT16_MAX && height <= INT16_MAX;
}

// A creation that failed gives its record back: a list record with no
// bitmap would stay in the list, where nothing could ever free it.
uintptr_t ForgetFailedImage(ObjectId id) {
    Images().currentImage = nullptr;
    Images().table.Clear(id);
    return 0;
}

// Deletes the bitmap (or icon) of a live image; its record is the table's.
void ReleaseImage(ObjectId, void* record) {
    ImageLibraryState& images = Images();
    auto handle = reinterpret_cast<HGDIOBJ>(static_cast<ImageRecord*>(record)->handle);
    if (GetObjectType(handle) == OBJ_BITMAP) {
        // A bitmap still selected into the image DC would not really be deleted.
        if (images.imageDC && GetCurrentObject(images.imageDC, OBJ_BITMAP) == handle) ReleaseImageDC();
        DeleteObject(handle);
    } else {
        DestroyIcon(static_cast<HICON>(handle));
    }
    if (images.currentImage == record) images.currentImage = nullptr;
}

void FillImageBlack(int32_t width, int32_t height) {
    DrawTarget* target = ImageDrawTarget();
    if (!target) return;
    RECT whole{0, 0, width, height};
    FillRect(target->dc, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseImageDC();
}

}  // namespace

void InitImageLibrary() {
    ImageLibraryState& images = Images();
    if (images.table.Exists()) {
        FreeAllImages();
        HeapFree(RuntimeHeap, 0, images.table.table.slots);
        images.table.table = ObjectTable{};
    }
    images.table.Create(IMAGE_TABLE);
    images.currentImage = nullptr;
    images.imageDC = nullptr;
}

uintptr_t CreateImageObject(ObjectId number, int32_t width, int32_t height) {
    if (!IsUsableImageSize(width, height)) return 0;
    ObjectId id;
    ImageRecord* record = Images().table.Replace(number, &id, ReleaseImage);
    Images().currentImage = record;
    if (!record) return 0;

    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!display) return ForgetFailedImage(id);
    HBITMAP bitmap = CreateCompatibleBitmap(display, width, height);
    if (!bitmap) {
        DeleteDC(display);
        return ForgetFailedImage(id);
    }
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    record->handle = reinterpret_cast<uintptr_t>(bitmap);
    record->width = static_cast<int16_t>(info.bmWidth);
    record->height = static_cast<int16_t>(info.bmHeight);
    record->depth = static_cast<int16_t>(info.bmBitsPixel);

    // Compatible bitmaps start with whatever the driver gives; a new image is black.
    FillImageBlack(width, height);
    DeleteDC(display);
    return Images().table.Created(number, id);
}

uintptr_t GetImageHandle(ObjectId value) {
    ImageRecord* record = Images().table.Lookup(value);
    Images().currentImage = record;
    return record ? record->handle : 0;
}

DrawTarget* ImageDrawTarget() {
    ImageLibraryState& images = Images();
    ReleaseImageDC();
    if (!images.currentImage || !images.currentImage->handle) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return nullptr;
    if (!SelectObject(dc, reinterpret_cast<HGDIOBJ>(images.currentImage->handle))) {
        // An icon, or a bitmap held by another DC: no target, and no DC left behind.
        DeleteDC(dc);
        return nullptr;
    }
    images.imageDC = dc;
    images.imageTarget = DrawTarget{};
    images.imageTarget.kind = DRAW_TARGET_IMAGE;
    images.imageTarget.dc = dc;
    images.imageTarget.release = ReleaseImageDC;
    return &images.imageTarget;
}

void ReleaseImageDC() {
    HDC dc = Images().imageDC;
    if (!dc) return;
    if (Drawing.dc == dc) {
        // Still being drawn on: finishing the drawing restores the DC's own
        // brush and pen and gives it back through this very procedure.
        EndDrawing();
        return;
    }
    Images().imageDC = nullptr;
    DeleteDC(dc);
}

void FreeImageObject(ObjectId value) { Images().table.Destroy(value, ReleaseImage); }

void FreeAllImages() {
    Images().table.FreeAll(FreeImageObject);
    // The library's end: what its scaled copies kept goes with the images.
    ReleaseScaledCopy();
}

void ResetImageDecoders() {
    ImageLibraryState& images = Images();
    images.decoderCount = 0;
    images.currentDecoder = nullptr;
    images.currentFile = nullptr;
}

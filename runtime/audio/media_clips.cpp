// Media clips: one DirectShow filter graph per numbered file, started,
// stopped and rewound as a whole, with volume and balance on the current clip.
#include "runtime/audio/audio.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/screen/screen.h"

namespace {

constexpr int32_t ATTENUATION_STEPS = 101;  // volumes 0..100 percent
constexpr int32_t SILENT_VOLUME = -10000;   // DirectShow's floor, hundredths of a dB
constexpr int32_t FULL_BALANCE = 10000;
constexpr int FILE_NAME_CHARACTERS = 260;
// The current clip after the list clip it named was destroyed: none, so a
// record freed to the node heap is never touched again.
constexpr ObjectId NO_CURRENT_CLIP = INTPTR_MIN;

struct MediaPlayerState {
    bool started;            // InitMediaPlayer ran; nothing clears it
    bool holdsDirectDraw;    // our reference on the shared DirectDraw object
    bool comInitialized;     // CoInitialize succeeded, so CoUninitialize is ours to call
    bool attenuationFilled;
    int32_t attenuation[ATTENUATION_STEPS];  // volume percent -> level + 10000
    ObjectTableOf<MediaClip> clips;
    ObjectId currentClip;    // a number or a list handle, so growth cannot leave it stale
};

MediaPlayerState MediaPlayer;

void FillAttenuationTable() {
    MediaPlayer.attenuation[0] = 0;
    for (int32_t volume = 1; volume < ATTENUATION_STEPS - 1; ++volume)
        MediaPlayer.attenuation[volume] = TruncReal(100.0 * (20.0 * std::log10(1000.0 * volume)));
    MediaPlayer.attenuation[ATTENUATION_STEPS - 1] = 10000;
    MediaPlayer.attenuationFilled = true;
}

// The current record, empty or not; null when there is none.
MediaClip* CurrentClipRecord() {
    ObjectId current = MediaPlayer.currentClip;
    if (!MediaPlayer.clips.Exists() || current == NO_CURRENT_CLIP) return nullptr;
    if (current >= 0 && current < MediaPlayer.clips.Count()) return MediaPlayer.clips.Slot(current);
    if (IsListHandle(MediaPlayer.clips.table, current)) return reinterpret_cast<MediaClip*>(current);
    return nullptr;
}

template <typename Interface>
void ReleaseInterface(Interface*& object) {
    if (object) object->Release();
    object = nullptr;
}

bool QueryClipInterfaces(MediaClip* clip) {
    IGraphBuilder* graph = clip->graphBuilder;
    // Every query is made even after one fails, so the release path sees all of them.
    bool ok = true;
    ok &= SUCCEEDED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&clip->mediaControl)));
    ok &= SUCCEEDED(graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&clip->mediaEvents)));
    ok &= SUCCEEDED(graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&clip->seeking)));
    ok &= SUCCEEDED(graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&clip->videoWindow)));
    ok &= SUCCEEDED(graph->QueryInterface(IID_IBasicVideo, reinterpret_cast<void**>(&clip->video)));
    ok &= SUCCEEDED(graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&clip->audio)));
    return ok;
}

// A WAVE file that has no format chunk before its data, or whose data chunk
// runs past the end of the file, is damaged. DirectShow would play whatever
// part of it happens to parse (or pick the format up from garbage), so such
// a file fails to load like one that cannot be rendered at all. Files of
// other kinds are left to DirectShow to judge.
constexpr int MAX_CHUNKS_BEFORE_DATA = 64;

bool IsDamagedWaveFile(const char* fileName) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) return false;  // RenderFile reports what cannot be opened
    bool damaged = true;
    char header[12];
    long long size = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0) size = _ftelli64(file);
    if (size >= 0 && _fseeki64(file, 0, SEEK_SET) == 0 && std::fread(header, 1, 12, file) == 12 &&
        (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)) {
        damaged = false;  // not a WAVE file: not ours to judge
    } else if (size >= 12) {
        long long position = 12;
        bool haveFormat = false;
        for (int chunk = 0; chunk < MAX_CHUNKS_BEFORE_DATA && position + 8 <= size; ++chunk) {
            unsigned char chunkHeader[8];
            if (_fseeki64(file, position, SEEK_SET) != 0 || std::fread(chunkHeader, 1, 8, file) != 8) break;
            unsigned long long length = chunkHeader[4] | (chunkHeader[5] << 8) | (chunkHeader[6] << 16) |
                                        (static_cast<unsigned long long>(chunkHeader[7]) << 24);
            if (std::memcmp(chunkHeader, "fmt ", 4) == 0) haveFormat = length >= 16;
            if (std::memcmp(chunkHeader, "data", 4) == 0) {
                damaged = !haveFormat || position + 8 + static_cast<long long>(length) > size;
                break;
            }
            position += 8 + static_cast<long long>(length) + (length & 1);
        }
    }
    std::fclose(file);
    return damaged;
}

bool RenderClipFile(MediaClip* clip, const char* fileName) {
    WCHAR wideName[FILE_NAME_CHARACTERS];
    if (MultiByteToWideChar(CP_ACP, 0, fileName, -1, wideName, FILE_NAME_CHARACTERS) == 0) return false;
    if (IsDamagedWaveFile(fileName)) return false;
    if (clip->graphBuilder->RenderFile(wideName, nullptr) != S_OK) return false;
    return QueryClipInterfaces(clip);
}

void PlaceVideoInWindow(MediaClip* clip, HWND window) {
    IVideoWindow* videoWindow = clip->videoWindow;
    OAHWND owner = 0;
    if (FAILED(videoWindow->get_Owner(&owner)) || owner != reinterpret_cast<OAHWND>(window)) {
        videoWindow->put_Owner(reinterpret_cast<OAHWND>(window));
        videoWindow->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS);
    }
    clip->mediaControl->Run();

    // Audio-only graphs fail these calls; zeros keep the later ones defined.
    long left = 0, top = 0, width = 0, height = 0;
    videoWindow->GetWindowPosition(&left, &top, &width, &height);
    POINT corner{left, top};
    ScreenToClient(window, &corner);
    // Sizing away and back makes the renderer repaint at the new place.
    videoWindow->SetWindowPosition(corner.x, corner.y, width - 1, height);
    videoWindow->SetWindowPosition(corner.x, corner.y, width, height);
}

// Stops the clip and releases all it holds; the record is the table's.
void ReleaseClip(ObjectId value, void* record) {
    auto* clip = static_cast<MediaClip*>(record);
    if (SelectMediaClip(value)) RewindCurrentClip();
    ReleaseInterface(clip->graphBuilder);
    ReleaseInterface(clip->mediaControl);
    ReleaseInterface(clip->mediaEvents);
    ReleaseInterface(clip->videoWindow);
    ReleaseInterface(clip->audio);
    ReleaseInterface(clip->video);
    ReleaseInterface(clip->seeking);
    std::free(clip->fileName);
    if (clip->multimediaStream) clip->multimediaStream->SetState(STREAMSTATE_STOP);
    ReleaseInterface(clip->multimediaStream);
    ReleaseInterface(clip->streamInterfaces[0]);
    ReleaseInterface(clip->streamInterfaces[2]);
    ReleaseInterface(clip->streamInterfaces[1]);
    // A list record is freed next, or refilled; either way no longer current.
    if (MediaPlayer.currentClip == value && IsListHandle(MediaPlayer.clips.table, value))
        MediaPlayer.currentClip = NO_CURRENT_CLIP;
}

// A load that failed gives its record back: a table record is zeroed, and a
// list record, which no lookup could reach while empty, is freed.
uintptr_t ForgetFailedClip(ObjectId id) {
    MediaPlayer.clips.Clear(id);
    return 0;
}

}  // namespace

uintptr_t InitMediaPlayer() {
    MediaPlayer.started = true;
    IDirectDraw7* directDraw = AcquireDirectDraw();
    MediaPlayer.holdsDirectDraw = true;  // the reference counts even without an object
    if (!directDraw) return 0;
    // A second start keeps the table, and the clips in it.
    if (!MediaPlayer.clips.Exists() && !MediaPlayer.clips.Create(MEDIA_CLIP_TABLE)) return 0;
    if (!MediaPlayer.comInitialized) MediaPlayer.comInitialized = SUCCEEDED(CoInitialize(nullptr));
    MediaPlayer.currentClip = 0;
    return reinterpret_cast<uintptr_t>(directDraw);
}

uintptr_t LoadMediaClip(ObjectId number, const char* fileName) {
    ObjectId id;
    MediaClip* clip = MediaPlayer.clips.Replace(number, &id, ReleaseClip);
    if (!clip) return 0;
    if (!fileName || !*fileName) return ForgetFailedClip(id);

    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&clip->graphBuilder)) != S_OK ||
        !clip->graphBuilder) {
        clip->graphBuilder = nullptr;
        return ForgetFailedClip(id);
    }
    bool loaded = RenderClipFile(clip, fileName);
    if (loaded) {
        clip->seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
        MediaPlayer.currentClip = id;
        clip->state = MEDIA_CLIP_STOPPED;
        size_t bytes = std::strlen(fileName) + 1;
        clip->fileName = static_cast<char*>(std::malloc(bytes));
        if (clip->fileName)
            std::memcpy(clip->fileName, fileName, bytes);
        else
            loaded = false;  // a clip is whole or not there at all
    }
    if (!loaded) {
        DestroyMediaClip(id);
        return 0;
    }
    clip->videoWindow->SetWindowPosition(0, 0, GetClipVideoWidth(), GetClipVideoHeight());
    return reinterpret_cast<uintptr_t>(clip);
}

int PlayMediaClip(ObjectId value, HWND owner) {
    MediaClip* clip = MediaPlayer.clips.Lookup(value);
    if (!clip) return 0;
    SelectMediaClip(value);
    RewindCurrentClip();
    if (owner == MEDIA_CLIP_STREAM_WINDOW) {
        clip->streamMode = 1;
        if (clip->multimediaStream)
            clip->multimediaStream->SetState(STREAMSTATE_RUN);
        else
            clip->mediaControl->Run();  // no stream to run: the graph plays without a window
    } else {
        PlaceVideoInWindow(clip, owner);
        clip->streamMode = 0;
    }
    clip->state = MEDIA_CLIP_PLAYING;
    return 1;
}

void SetMediaClipAudio(int32_t volume, int32_t balance) {
    if (!MediaPlayer.attenuationFilled) FillAttenuationTable();
    MediaClip* clip = CurrentClipRecord();
    if (!clip || !clip->graphBuilder || !clip->audio) return;
    if (volume < 0) volume = 0;
    if (volume > 100) volume = 100;
    clip->audio->put_Volume(MediaPlayer.attenuation[volume] + SILENT_VOLUME);
    // Widened first: a wild balance must clamp, not wrap.
    int64_t level = static_cast<int64_t>(balance) * 100;
    if (level < -FULL_BALANCE) level = -FULL_BALANCE;
    if (level > FULL_BALANCE) level = FULL_BALANCE;
    clip->audio->put_Balance(static_cast<long>(level));
}

void DestroyMediaClip(ObjectId value) { MediaPlayer.clips.Destroy(value, ReleaseClip); }

void EndMediaPlayer() {
    if (!MediaPlayer.started) return;
    MediaPlayer.clips.FreeAll(DestroyMediaClip);
    if (MediaPlayer.holdsDirectDraw) ReleaseDirectDraw();
    MediaPlayer.holdsDirectDraw = false;  // a second end must not drop someone else's reference
    if (MediaPlayer.comInitialized) CoUninitialize();
    MediaPlayer.comInitialized = false;
}

IGraphBuilder* SelectMediaClip(ObjectId value) {
    MediaClip* clip = MediaPlayer.clips.Lookup(value);
    if (!clip) return nullptr;
    MediaPlayer.currentClip = value;
    return clip->graphBuilder;
}

void RewindCurrentClip() {
    MediaClip* clip = CurrentClipRecord();
    if (!clip || !clip->mediaControl || !clip->seeking) return;
    if (clip->streamMode == 1 && clip->multimediaStream) {
        clip->multimediaStream->Seek(0);
        clip->multimediaStream->SetState(STREAMSTATE_STOP);
    } else {
        clip->mediaControl->Stop();
        LONGLONG start = 0;
        clip->seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    }
    clip->state = MEDIA_CLIP_STOPPED;
}

int32_t GetClipVideoWidth() {
    MediaClip* clip = CurrentClipRecord();
    if (!clip || !clip->video) return 0;
    long width = 0;
    return SUCCEEDED(clip->video->get_VideoWidth(&width)) ? static_cast<int32_t>(width) : -1;
}

int32_t GetClipVideoHeight() {
    MediaClip* clip = CurrentClipRecord();
    if (!clip || !clip->video) return 0;
    long height = 0;
    return SUCCEEDED(clip->video->get_VideoHeight(&height)) ? static_cast<int32_t>(height) : -1;
}

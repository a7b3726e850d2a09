// The DirectSound sound system: one device at priority level on the display
// window, its primary buffer, and numbered static buffers loaded from WAV
// images or from blocks that a registered decoder turns into 16-bit PCM.
#include "runtime/audio/audio.h"

#include <mmreg.h>
#include <dsound.h>

#include <cstring>

#include "runtime/audio/wav_image.h"
#include "runtime/screen/screen.h"

namespace {

using DirectSoundCreateProc = HRESULT(WINAPI*)(const GUID*, IDirectSound**, IUnknown*);

struct SoundRecord {
    IDirectSoundBuffer* buffer;  // the slot is in use while non-null
};

// Buffers for sounds: pan, volume and frequency control, audible while the
// program is not in front, and a play cursor that is right on emulated devices.
constexpr DWORD SOUND_BUFFER_FLAGS = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                                     DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
static_assert(SOUND_BUFFER_FLAGS == 0x180E0);

// DirectSound refuses anything larger than this in one buffer.
constexpr uint64_t SOUND_BUFFER_LIMIT = DSBSIZE_MAX;

struct SoundSystemState {
    HMODULE directSoundModule;
    DirectSoundCreateProc directSoundCreate;
    IDirectSound* device;
    IDirectSoundBuffer* primaryBuffer;
    DSBUFFERDESC SoundBufferDesc;  // every buffer is created through this one description
    WAVEFORMATEX primaryFormat;    // 44.1 kHz, 16 bits, stereo
    const SoundDecoder* decoders[SOUND_DECODER_CAPACITY];
    int32_t decoderCount;
    const SoundDecoder* currentDecoder;  // the last one that accepted a source
    FILE* currentFile;                   // open for the current decoder until it decodes
    ObjectTableOf<SoundRecord> sounds;
};

SoundSystemState SoundSystem;

bool OpenDirectSound() {
    SoundSystem.directSoundModule = LoadLibraryA("DSOUND.DLL");
    if (!SoundSystem.directSoundModule) return false;
    SoundSystem.directSoundCreate =
        reinterpret_cast<DirectSoundCreateProc>(reinterpret_cast<void (*)()>(
        GetProcAddress(SoundSystem.directSoundModule, "DirectSoundCreate")));
    if (!SoundSystem.directSoundCreate) return false;
    IDirectSound* device = nullptr;
    if (SoundSystem.directSoundCreate(nullptr, &device, nullptr) != S_OK || !device) return false;
    SoundSystem.device = device;
    // Bound once: a display that opens later does not move the device.
    return device->SetCooperativeLevel(GetDisplayWindowHandle(), DSSCL_PRIORITY) == S_OK;
}

bool CreatePrimaryBuffer() {
    SoundSystem.SoundBufferDesc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    SoundSystem.SoundBufferDesc.dwBufferBytes = 0;
    SoundSystem.SoundBufferDesc.lpwfxFormat = nullptr;
    IDirectSoundBuffer* primary = nullptr;
    if (SoundSystem.device->CreateSoundBuffer(&SoundSystem.SoundBufferDesc, &primary, nullptr) != S_OK || !primary)
        return false;
    SoundSystem.primaryBuffer = primary;

    WAVEFORMATEX& format = SoundSystem.primaryFormat;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 176400;
    format.cbSize = 0;
    // Mixing at CD quality instead of the device default; a refusal leaves
    // the default, which plays just as well.
    primary->SetFormat(&format);
    return true;
}

void CloseCurrentFile() {
    if (SoundSystem.currentFile) fclose(SoundSystem.currentFile);
    SoundSystem.currentFile = nullptr;
}

// The decoded sound as a PCM format record and a block of samples from the
// RuntimeHeap, which the caller gives back.
bool DecodeSound(const void* block, uint32_t length, WAVEFORMATEX* format, WavImage* image, void** decoded) {
    if (!SelectSoundDecoder(nullptr, block, static_cast<int32_t>(length))) return false;
    int32_t channels = CurrentDecoderChannels();
    int32_t frames = CurrentDecoderFrames();
    if (channels <= 0 || channels > 0xFFFF || frames <= 0) return false;
    uint64_t bytes = static_cast<uint64_t>(frames) * static_cast<uint64_t>(channels) * 2;
    if (bytes > SOUND_BUFFER_LIMIT) return false;
    void* samples = HeapAlloc(RuntimeHeap, 0, static_cast<SIZE_T>(bytes));
    if (!samples) return false;
    DecodeWithCurrentDecoder(samples, static_cast<int32_t>(bytes), 0);

    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = static_cast<WORD>(channels);
    format->nSamplesPerSec = static_cast<DWORD>(CurrentDecoderRate());
    format->nAvgBytesPerSec = static_cast<DWORD>(CurrentDecoderRate()) * 2 * static_cast<DWORD>(channels);
    format->nBlockAlign = static_cast<WORD>(channels * 2);
    format->wBitsPerSample = 16;
    format->cbSize = 0;

    image->format = format;
    image->dataLength = static_cast<uint32_t>(static_cast<uint64_t>(CurrentDecoderFrames()) * 2 * channels);
    image->samples = static_cast<const uint8_t*>(samples);
    if (image->dataLength > bytes) image->dataLength = static_cast<uint32_t>(bytes);  // a decoder that grew meanwhile
    *decoded = samples;
    return true;
}

void ReleaseSound(ObjectId, void* record) { static_cast<SoundRecord*>(record)->buffer->Release(); }

// Creates and fills the buffer, then stores it under the number; the old
// sound goes only once the new one is complete.
uintptr_t CreateSoundUnder(ObjectId number, const WavImage& image) {
    DSBUFFERDESC& desc = SoundSystem.SoundBufferDesc;
    desc.dwFlags = SOUND_BUFFER_FLAGS;
    desc.dwBufferBytes = image.dataLength;
    desc.lpwfxFormat = const_cast<WAVEFORMATEX*>(static_cast<const WAVEFORMATEX*>(image.format));
    IDirectSoundBuffer* buffer = nullptr;
    HRESULT created = SoundSystem.device->CreateSoundBuffer(&desc, &buffer, nullptr);
    desc.lpwfxFormat = nullptr;  // the format may live in the caller's block
    if (created != S_OK || !buffer) return 0;

    void* region1 = nullptr;
    void* region2 = nullptr;
    DWORD length1 = 0;
    DWORD length2 = 0;
    if (buffer->Lock(0, image.dataLength, &region1, &length1, &region2, &length2, 0) != S_OK || !region1) {
        buffer->Release();
        return 0;
    }
    std::memcpy(region1, image.samples, image.dataLength < length1 ? image.dataLength : length1);

    ObjectId id;
    SoundRecord* record = SoundSystem.sounds.Replace(number, &id, ReleaseSound);
    uintptr_t result = 0;
    if (record) {
        record->buffer = buffer;
        result = SoundSystem.sounds.Created(number, id);
    }
    buffer->Unlock(region1, length1, region2, length2);
    if (!record) buffer->Release();  // a number the table refuses keeps nothing
    return result;
}

}  // namespace

uintptr_t InitSoundSystem() {
    DSBUFFERDESC& desc = SoundSystem.SoundBufferDesc;
    // The platform's own size: DirectSound checks it, and the pointer field
    // makes it 40 bytes rather than 36 in 64-bit builds.
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwBufferBytes = 0;
    desc.dwReserved = 0;
    desc.lpwfxFormat = nullptr;
    // A second start keeps the table, and the sounds in it.
    if (!SoundSystem.sounds.Exists() && !SoundSystem.sounds.Create(SOUND_TABLE)) return 0;
    uintptr_t table = reinterpret_cast<uintptr_t>(SoundSystem.sounds.table.slots);

    if (!CreateMultimediaWindow()) return 0;
    if (SoundSystem.device) return table;
    if (!OpenDirectSound()) return 0;
    if (!CreatePrimaryBuffer()) return 0;
    return table;
}

void EndSoundSystem() {
    SoundSystem.sounds.FreeAll(DestroySound);
    // Everything DirectSound gave goes back before its module does: its mixer
    // thread must not outlive the code it runs.
    if (SoundSystem.primaryBuffer) SoundSystem.primaryBuffer->Release();
    SoundSystem.primaryBuffer = nullptr;
    if (SoundSystem.device) SoundSystem.device->Release();
    SoundSystem.device = nullptr;
    if (SoundSystem.directSoundModule) FreeLibrary(SoundSystem.directSoundModule);
    SoundSystem.directSoundModule = nullptr;
    SoundSystem.directSoundCreate = nullptr;
    CloseCurrentFile();
}

uintptr_t LoadSoundFromMemory(ObjectId number, const void* block, uint32_t length) {
    if (!block || !SoundSystem.device || !SoundSystem.sounds.Exists()) return 0;
    if (number < NEW_LIST_OBJECT) return 0;

    WavImage image{};
    WAVEFORMATEX decodedFormat{};
    void* decoded = nullptr;
    if (StartsWithRiff(block, length)) {
        if (!ReadWavImage(block, length, &image)) return 0;
    } else if (!DecodeSound(block, length, &decodedFormat, &image, &decoded)) {
        return 0;
    }
    uintptr_t result = CreateSoundUnder(number, image);
    if (decoded) HeapFree(RuntimeHeap, 0, decoded);
    return result;
}

void DestroySound(ObjectId value) { SoundSystem.sounds.Destroy(value, ReleaseSound); }

void RegisterSoundDecoder(const SoundDecoder* decoder) {
    if (!decoder || SoundSystem.decoderCount >= SOUND_DECODER_CAPACITY) return;
    SoundSystem.decoders[SoundSystem.decoderCount++] = decoder;
}

int SelectSoundDecoder(const char* fileName, const void* block, int32_t length) {
    CloseCurrentFile();
    if (!fileName) {
        for (int32_t i = 0; i < SoundSystem.decoderCount; ++i) {
            if (SoundSystem.decoders[i]->accept(nullptr, nullptr, block, length)) {
                SoundSystem.currentDecoder = SoundSystem.decoders[i];
                return 1;
            }
        }
        return 0;
    }
    SoundSystem.currentFile = fopen(fileName, "rb");
    if (!SoundSystem.currentFile) return 0;
    for (int32_t i = 0; i < SoundSystem.decoderCount; ++i) {
        fseek(SoundSystem.currentFile, 0, SEEK_SET);  // each decoder reads from the start
        if (SoundSystem.decoders[i]->accept(SoundSystem.currentFile, fileName, nullptr, 0)) {
            SoundSystem.currentDecoder = SoundSystem.decoders[i];
            return 1;
        }
    }
    CloseCurrentFile();
    return 0;
}

int32_t CurrentDecoderChannels() { return SoundSystem.currentDecoder ? SoundSystem.currentDecoder->channels() : 0; }
int32_t CurrentDecoderFrames() { return SoundSystem.currentDecoder ? SoundSystem.currentDecoder->frames() : 0; }
int32_t CurrentDecoderRate() { return SoundSystem.currentDecoder ? SoundSystem.currentDecoder->rate() : 0; }

void DecodeWithCurrentDecoder(void* target, int32_t targetLength, int32_t flags) {
    if (SoundSystem.currentDecoder) SoundSystem.currentDecoder->decode(target, targetLength, flags);
    CloseCurrentFile();
}

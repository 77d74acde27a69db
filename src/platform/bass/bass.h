// The audio library's interface: types, constants and the 18 entry points.
//
// The library is a shared object of its own (liblumetra_bass.so), loaded at run time by
// the music component; its WMA add-on (liblumetra_basswma.so) is loaded by the library
// through BASS_PluginLoad. Callers that load the library resolve the entry points by
// name and use the *_PROC types below.
//
// Output is 44100 Hz stereo. Positions and lengths are bytes of the decoded stream as
// 32-bit float stereo (8 bytes a frame, 352,800 bytes a second). Handles are never 0;
// every call on a 0 or stale handle fails harmlessly (FALSE, 0 or -1).
//
// Streams decode as they play: BASS_StreamCreateFile probes the file and decodes its first
// moments, a decoder thread keeps a short buffer ahead of the output, and memory does not
// grow with the length of a track. A file stream keeps its file open, so the file may be
// deleted while it plays; a memory stream keeps a copy of the block. Lengths are known at
// once for uncompressed 44100 Hz audio, after a stream has been decoded to its end, and
// under the program's virtual clock (where the stream is counted when it is created);
// otherwise BASS_ChannelGetLength and BASS_ChannelSetPosition decode the file once to count
// its frames, without keeping them.
#pragma once

#include <cstdint>

namespace bass {

using BOOL = int32_t;
using DWORD = uint32_t;
using QWORD = uint64_t;
using HSTREAM = DWORD;
using HSYNC = DWORD;
using HPLUGIN = DWORD;

constexpr BOOL kFALSE = 0;
constexpr BOOL kTRUE = 1;

// BASS_ChannelSetSync types.
constexpr DWORD BASS_SYNC_END = 2;
// BASS_ChannelGetAttribute / SetAttribute.
constexpr DWORD BASS_ATTRIB_VOL = 2;
// Position modes.
constexpr DWORD BASS_POS_BYTE = 0;
// File-name flag of BASS_StreamCreateFile / BASS_PluginLoad (wide names): not supported
// here, such calls fail.
constexpr DWORD BASS_UNICODE = 0x80000000u;

// Output rate and frame size of every stream.
constexpr DWORD kOutputRate = 44100;
constexpr DWORD kBytesPerFrame = 8;  // two 32-bit float channels

// The add-on's identification: the library accepts a plug-in file only when it exports
// this function and it answers with kPluginMagic.
struct PluginInfo {
    uint32_t magic;
    uint32_t version;
    const char* demuxers;  // comma-separated container names the add-on enables
};
constexpr uint32_t kPluginMagic = 0x4C4D5750u;  // "PWML"
// What the WMA add-on enables: the container of Windows Media audio.
constexpr const char* kWmaContainers = "asf";
constexpr const char* kPluginInfoSymbol = "lumetra_bass_plugin_info";

using SYNCPROC = void(HSYNC handle, DWORD channel, DWORD data, void* user);

using BASS_Init_PROC = BOOL(int device, DWORD freq, DWORD flags, void* win, const void* clsid);
using BASS_Free_PROC = BOOL();
using BASS_PluginLoad_PROC = HPLUGIN(const char* file, DWORD flags);
using BASS_PluginFree_PROC = BOOL(HPLUGIN handle);
using BASS_StreamCreateFile_PROC = HSTREAM(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
using BASS_StreamFree_PROC = BOOL(HSTREAM handle);
using BASS_ChannelPlay_PROC = BOOL(DWORD handle, BOOL restart);
using BASS_ChannelPause_PROC = BOOL(DWORD handle);
using BASS_ChannelStop_PROC = BOOL(DWORD handle);
using BASS_ChannelSetSync_PROC = HSYNC(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user);
using BASS_ChannelRemoveSync_PROC = BOOL(DWORD handle, HSYNC sync);
using BASS_ChannelGetPosition_PROC = QWORD(DWORD handle, DWORD mode);
using BASS_ChannelSetPosition_PROC = BOOL(DWORD handle, QWORD pos, DWORD mode);
using BASS_ChannelGetLength_PROC = QWORD(DWORD handle, DWORD mode);
using BASS_ChannelBytes2Seconds_PROC = double(DWORD handle, QWORD pos);
using BASS_ChannelSeconds2Bytes_PROC = QWORD(DWORD handle, double pos);
using BASS_ChannelGetAttribute_PROC = BOOL(DWORD handle, DWORD attrib, float* value);
using BASS_ChannelSetAttribute_PROC = BOOL(DWORD handle, DWORD attrib, float value);

}  // namespace bass

// The WMA add-on of the audio library: loaded with BASS_PluginLoad, it lets the library
// open Windows Media audio files (the ASF container). The decoding itself is the
// library's; the add-on only names what it enables.

#include "platform/bass/bass.h"

extern "C" __attribute__((visibility("default"))) const bass::PluginInfo* lumetra_bass_plugin_info() {
    static const bass::PluginInfo info{bass::kPluginMagic, 0x02040000u, bass::kWmaContainers};
    return &info;
}

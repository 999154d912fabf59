// The backup manifest reader on arbitrary text: what it accepts is written back
// and read again to the same manifest; read from a folder, as a restore and
// `health --since` read it, the text is accepted or refused alike, with a
// reason.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "safety/backup_manifest.h"
#include "safety/health.h"
#include "safety/safety_net.h"
#include "temp_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder temp;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    velmora::BackupManifest manifest;
    std::string error;
    const bool ok = velmora::ParseManifest(text, manifest, error);
    if (ok == !error.empty()) {
        __builtin_trap();
    }
    if (ok) {
        velmora::BackupManifest again;
        if (!velmora::ParseManifest(velmora::ManifestText(manifest), again, error) ||
            !(again == manifest)) {
            __builtin_trap();
        }
    }
    std::ofstream(temp.path() + velmora::kManifestName, std::ios::binary | std::ios::trunc) << text;
    const velmora::BackupSummary summary = velmora::ReadBackupSummary(temp.path(), true);
    velmora::BadBlockView view;
    if ((!ok && summary.error.empty()) ||
        velmora::ReadBadBlockView(temp.path(), view, error) != ok) {
        __builtin_trap();
    }
    return 0;
}

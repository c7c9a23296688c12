// A WAV file as an archive (kind "wav") with one entry, "sound", of type "sound/wav": its stream
// delivers the whole file, header included, which is what a host sound factory preloads. So
// "buzz1.wav/*" names it.
//
// The entry's ResourceInfo:
//   word 0  type id of "sound/wav"
//   word 1  bytes of the whole file
//   word 2  sample rate in Hz from the "fmt " chunk, 0 when there is none
//   word 3  channels in the low 16 bits, bits per sample in the high 16 bits; 0 without "fmt "
// Data that is not a RIFF WAVE file (an empty file among them) makes no archive.
#pragma once

#include <memory>
#include <string>

#include "host/core/archive_base.h"

namespace hostengine {

class WavArchive : public Archive {
public:
    WavArchive(ArchiveContext& context, std::shared_ptr<const std::string> bytes, const std::string& locator);
    static bool isWave(const std::string& bytes);
};

// The data comes through the module's stream of the entry ("IRead"), or, without one, from the file
// its "file://" locator names.
class WavArchiveFactory : public ArchiveFactory {
public:
    explicit WavArchiveFactory(ArchiveContext& context) : ArchiveFactory("wav", context) {}

protected:
    std::unique_ptr<Archive> make(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) override;
};

}  // namespace hostengine

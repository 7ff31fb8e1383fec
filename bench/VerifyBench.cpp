// SPDX-License-Identifier: GPL-3.0-or-later
// Verifies a copy once, as the engine does after a clone: both read back at once and
// compared over the source's length. Prints the seconds it took and the bytes compared;
// exits with 1 when the copy differs or cannot be read (for bench/loop-devices.sh).
//   vantrel-verify-bench SOURCE DEST   (block devices or image files)
#include "clone/VerifyCopy.h"
#include "platform/volume/DeviceVolume.h"

#include <chrono>
#include <cstdio>

namespace {

class CSilentProgress : public IVerifyProgress {
public:
    void OnVerifyStarting(std::uint64_t) override {}
    bool OnBlockCompared(std::uint64_t) override { return true; }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantrel-verify-bench SOURCE DEST\n");
        return 2;
    }
    std::unique_ptr<platform::IVolume> source = platform::OpenVolumeFile(argv[1], platform::VolumeAccess::Read);
    if (!source) {
        std::perror(argv[1]);
        return 1;
    }
    // As the engine holds it: claimed, for writing.
    std::unique_ptr<platform::IVolume> dest = platform::OpenVolumeFile(argv[2], platform::VolumeAccess::Write);
    if (!dest) {
        std::perror(argv[2]);
        return 1;
    }
    CVerifyPlan plan{usedspace::CByteRanges(source->Size()), usedspace::CByteRanges(source->Size()), {}};
    plan.copied.Add(0, source->Size());
    CSilentProgress progress;
    auto start = std::chrono::steady_clock::now();
    CVerifyOutcome outcome = VerifyCopy(*source, *dest, plan, progress);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (outcome.result != VerifyResult::Equal) {
        std::fprintf(stderr, "not equal: result %d, error %d\n", static_cast<int>(outcome.result), outcome.error);
        return 1;
    }
    std::printf("%.4f %llu bytes\n", took.count(), static_cast<unsigned long long>(outcome.bytesCompared));
    return 0;
}

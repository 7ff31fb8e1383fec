// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

// The machine's raw volumes, read at a pace a screenshot can catch: each read of a source
// waits a moment for every MiB it asks for, so a clone of a few dozen MiB runs long enough
// for its progress to show its rate and time left. Everything else passes through.
class CPacedVolumes : public platform::IVolumeOpener {
public:
    std::unique_ptr<platform::IVolume> Open(const std::string& rawName, platform::VolumeAccess access) override
    {
        std::unique_ptr<platform::IVolume> volume = platform::RawVolumes().Open(rawName, access);
        if (!volume || access == platform::VolumeAccess::Write)
            return volume;
        return std::make_unique<CPacedVolume>(std::move(volume));
    }
    std::optional<platform::CDriveDevice> Device(const std::string& rawName) override
    {
        return platform::RawVolumes().Device(rawName);
    }

private:
    static constexpr std::chrono::milliseconds kPerMiB{40};

    class CPacedVolume : public platform::IVolume {
    public:
        explicit CPacedVolume(std::unique_ptr<platform::IVolume> volume) : m_volume(std::move(volume)) {}

        void Rewind() override { m_volume->Rewind(); }
        void Move(std::int64_t delta) override { m_volume->Move(delta); }
        bool Read(std::span<std::byte> buffer, std::uint32_t& bytesRead) override
        {
            std::this_thread::sleep_for(kPerMiB * static_cast<long>(buffer.size() >> 20));
            return m_volume->Read(buffer, bytesRead);
        }
        bool Write(std::span<const std::byte> data, std::uint32_t& bytesWritten) override
        {
            return m_volume->Write(data, bytesWritten);
        }
        bool Flush() override { return m_volume->Flush(); }
        std::uint64_t Size() const override { return m_volume->Size(); }
        int LastError() const override { return m_volume->LastError(); }
        platform::CVolumeExtent Extent() const override { return m_volume->Extent(); }
        int Descriptor() const override { return m_volume->Descriptor(); }
        std::unique_ptr<platform::IVolume> ReopenUncached() const override { return m_volume->ReopenUncached(); }

    private:
        std::unique_ptr<platform::IVolume> m_volume;
    };
};

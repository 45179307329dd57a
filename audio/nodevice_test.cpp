// With no device that opens, the first use of audio chooses the silent driver.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <corvex/audio/audio.h>

#include "audio/audio_module.h"
#include "audio/test_sounds.h"

using namespace corvex;

namespace {
// The only back end OpenAL Soft may use writes to a folder that does not exist. Set before
// OpenAL's first call, when it reads its configuration.
std::string Configure() {
    const std::string conf = "openal-nodevice-" + std::to_string(getpid()) + ".conf";
    const std::string text = "[general]\ndrivers=wave\n[wave]\nfile=/nonexistent-folder/out.wav\n";
    testsounds::WriteFile(conf, testsounds::Bytes(text.begin(), text.end()));
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    return conf;
}
}  // namespace

TEST(AudioNoDevice, SilentDriverIsChosenAndEverythingStillWorks) {
    const std::string conf = Configure();
    StartAudioModule();
    EXPECT_FALSE(SetAudioDriver(u"OpenAL"));  // will not open, nothing current yet
    EXPECT_FALSE(AudioModule().current);
    ASSERT_TRUE(AudioDriver());
    EXPECT_EQ(AudioDriver()->Name(), u"Silent");
    Ref<TChannel> ch = PlaySound(CreateSound(TSample::Create(4410, SF_MONO16, 44100), 0));
    EXPECT_TRUE(ChannelPlaying(ch));
    SetChannelPan(ch, -1);
    StopChannel(ch);
    EXPECT_FALSE(ChannelPlaying(ch));
    ShutdownAudio();
    std::remove(conf.c_str());
}

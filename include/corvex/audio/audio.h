// Sounds, channels and audio drivers: the driver-neutral front end through which a program
// plays samples.
//
// A sound is a sample made ready for a driver; a channel is one playing voice. The module
// operations act on the current driver, which is chosen on first use when the program has not
// picked one: drivers are tried newest registration first (OpenAL, then the silent driver,
// which always starts), so a program runs on a machine where no audio device opens. On Windows
// the software mixer on the wave-out device is tried first.
// Main thread only; drivers keep their own threads away from framework state.
#pragma once

#include <string_view>

#include <cstdint>
#include <vector>

#include <corvex/audio/loader.h>
#include <corvex/audio/sample.h>
#include <corvex/runtime/chain.h>
#include <corvex/runtime/string.h>
#include <corvex/stream/stream.h>

namespace corvex {

class TChannel;

// Channels the OpenAL driver sets up when it starts (fewer if the device offers fewer sources),
// so that starting a sound never makes the mixer grow its voice list: the 2000th sound starts as
// quickly as the 2nd. A new channel beyond them takes back a channel the program no longer
// holds, the one started longest ago, cutting it off if it still plays; with every channel held,
// PlaySound, CueSound and AllocChannel give Null. The silent driver has no limit.
constexpr int32_t MAX_AUDIO_CHANNELS = 128;

// --- Sound flags (OR-ed together) ---------------------------------------------------------------
constexpr int32_t SOUND_LOOP = 1;  // plays from the start again when it reaches its end

// A sample made ready for one driver. It stays valid while that driver is current; after a
// switch of driver it plays nothing.
class TSound : public TObject {
public:
    // Starts the sound on channel (Null: on a new one) and returns that channel, or Null when
    // the driver has no voice free. A channel already playing something stops it first.
    virtual Ref<TChannel> Play(const Ref<TChannel>& channel) = 0;
    // As Play, but leaves the channel paused at the sound's start: it starts when resumed.
    virtual Ref<TChannel> Cue(const Ref<TChannel>& channel) = 0;
    int32_t Flags() const { return _flags; }
    int32_t Length() const { return _length; }  // frames of the sample it was made from
    int32_t Rate() const { return _rate; }      // the sample's rate

protected:
    int32_t _flags = 0;   // SOUND_* given at creation
    int32_t _length = 0;  // frames
    int32_t _rate = 0;    // frames per second
};

// One voice of a driver. Settings persist on the channel from one sound to the next. A channel
// the program no longer holds is given back to its driver once it is silent (at once when it is
// stopped, paused or cued; by a later driver call when it plays to its end), and lets its sound
// go then: a sound lives while the program or a sounding channel holds it.
class TChannel : public TObject {
public:
    virtual void Stop() = 0;                    // ends the sound; Playing() turns false
    virtual void SetPaused(bool paused) = 0;    // pausing keeps the position, resuming continues
    virtual void SetVolume(float volume) = 0;   // 0..1, linear in amplitude; clamped
    // -1 left .. 1 right, 0 centre; clamped. The pan law, the same in every driver: a mono
    // sound is panned at constant power, left gain cos(t) and right gain sin(t) with
    // t = (pan + 1) * pi / 4 (0.7071 on each side at centre, 1 and 0 at the ends); a stereo
    // sound is balanced: at 0 both channels play unchanged, at pan p > 0 the left channel is
    // scaled by cos(p * pi / 2) and the right plays unchanged (p < 0 mirrors). No channel is
    // moved to the other side, so neither side's peak rises above the sound's.
    virtual void SetPan(float pan) = 0;
    virtual void SetRate(float rate) = 0;       // pitch factor, 2 an octave up; must be > 0
    virtual bool Playing() = 0;                 // a sound started and not ended (paused counts)
    virtual bool Paused() = 0;                  // paused, or cued and not yet resumed
};

// An audio back end. Succ() is the driver registered before it.
class TAudioDriver : public TObject, public TChainLink<TAudioDriver> {
public:
    virtual TString Name() = 0;                 // "OpenAL", "Silent"; used by SetAudioDriver
    virtual bool Startup() = 0;                 // opens the device; false when none opens
    virtual void Shutdown() = 0;                // stops everything and releases the device
    // Null when the sample is Null or the driver cannot take it.
    virtual Ref<TSound> CreateSound(const Ref<TSample>& sample, int32_t flags) = 0;
    virtual Ref<TChannel> AllocChannel() = 0;   // a free voice, Null when none is left
};

// --- Drivers ------------------------------------------------------------------------------------
void RegisterAudioDriver(Ref<TAudioDriver> driver);  // links it in at the head; Null or a repeat: nothing
std::vector<TString> AudioDriverNames();             // newest first
// Starts the named driver (letters compared without case) and makes it current, shutting the
// previous one down. False, with the current driver kept, when no driver has that name or it
// does not start.
bool SetAudioDriver(const TString& name);
bool SetAudioDriver(std::string_view utf8_name);  // the same, from UTF-8
// The current driver, chosen and started now if there is none; Null only with no drivers.
Ref<TAudioDriver> AudioDriver();
// Shuts the current driver down; the next use chooses again. Start-up arranges a call at exit.
void ShutdownAudio();

// --- Sounds -------------------------------------------------------------------------------------
Ref<TSound> CreateSound(const Ref<TSample>& sample, int32_t flags = 0);  // Null for a Null sample
Ref<TSound> LoadSound(const TUrl& url, int32_t flags = 0);  // LoadSample, then CreateSound; Null on failure
// Play or cue on channel (Null: a new one); the channel, or Null for a Null sound or no voice.
Ref<TChannel> PlaySound(const Ref<TSound>& sound, const Ref<TChannel>& channel = nullptr);
Ref<TChannel> CueSound(const Ref<TSound>& sound, const Ref<TChannel>& channel = nullptr);
// Plays on a new channel at this volume (0..1), pan (-1 left .. 1 right) and rate (1 = as
// recorded), all set before the first sample is heard; the channel, or Null as PlaySound.
Ref<TChannel> PlaySound(const Ref<TSound>& sound, float volume, float pan = 0.0f, float rate = 1.0f);

// --- Channels (a Null channel is ignored; its queries answer false) -----------------------------
Ref<TChannel> AllocChannel();
void StopChannel(const Ref<TChannel>& channel);
void PauseChannel(const Ref<TChannel>& channel);
void ResumeChannel(const Ref<TChannel>& channel);
void SetChannelVolume(const Ref<TChannel>& channel, float volume);
void SetChannelPan(const Ref<TChannel>& channel, float pan);
void SetChannelRate(const Ref<TChannel>& channel, float rate);
bool ChannelPlaying(const Ref<TChannel>& channel);
bool ChannelPaused(const Ref<TChannel>& channel);

// --- The drivers start-up registers -------------------------------------------------------------
Ref<TAudioDriver> CreateSilentAudioDriver();  // accepts every call, plays nothing
Ref<TAudioDriver> CreateOpenALAudioDriver();  // OpenAL Soft on its default device (Null on Windows: no OpenAL there)
// "Mixer": the framework's own mixer (16-bit stereo at 44100 Hz, 256 channels, then Null) on
// the Windows wave-out device; Startup returns false elsewhere and when no device opens.
Ref<TAudioDriver> CreateMixerAudioDriver();

// --- Start-up ----------------------------------------------------------------------------------
// Starts the runtime and stream modules, then registers the WAV and Ogg Vorbis loaders and the
// silent and OpenAL drivers, once. Chooses no driver: that happens on first use.
void StartAudioModule();

}  // namespace corvex

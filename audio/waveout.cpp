// The wave-out device of the mixer driver (Windows): 16-bit stereo on WAVE_MAPPER through a ring
// of buffers. A thread of the device's waits on the event the device sets as each buffer
// finishes, refills every finished buffer from the mixer and queues it again.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <thread>
#include <vector>

#include "audio/mixer.h"

namespace corvex::mixer {
namespace {

constexpr int RING = 4;            // buffers queued
constexpr int BUFFER_MS = 20;      // each one's length: 80 ms of latency in all

class TWaveOutDevice : public TMixDevice {
public:
    explicit TWaveOutDevice(int32_t rate) : _rate(rate) {}
    ~TWaveOutDevice() override { Close(); }
    int32_t Rate() override { return _rate; }

    bool Open(TMixer* mixer) override {
        if (_out) return true;
        _event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!_event) return false;
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = DWORD(_rate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = 4;
        format.nAvgBytesPerSec = DWORD(_rate) * 4;
        if (waveOutOpen(&_out, WAVE_MAPPER, &format, DWORD_PTR(_event), 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
            _out = nullptr;
            CloseHandle(_event);
            _event = nullptr;
            return false;
        }
        _mixer = mixer;
        _frames = _rate * BUFFER_MS / 1000;
        for (int i = 0; i < RING; ++i) {
            _pcm[i].assign(2 * size_t(_frames), 0);
            WAVEHDR& h = _headers[i];
            h = WAVEHDR{};
            h.lpData = reinterpret_cast<LPSTR>(_pcm[i].data());
            h.dwBufferLength = DWORD(_frames) * 4;
            if (waveOutPrepareHeader(_out, &h, sizeof h) != MMSYSERR_NOERROR) {
                _prepared = i;
                Close();
                return false;
            }
        }
        _prepared = RING;
        for (int i = 0; i < RING; ++i) Queue(i);
        _stop = false;
        _thread = std::thread([this] { Run(); });
        return true;
    }

    void Close() override {
        if (!_out) return;
        if (_thread.joinable()) {
            _stop = true;
            SetEvent(_event);
            _thread.join();
        }
        waveOutReset(_out);  // marks every queued buffer done
        for (int i = 0; i < _prepared; ++i) waveOutUnprepareHeader(_out, &_headers[i], sizeof _headers[i]);
        _prepared = 0;
        waveOutClose(_out);
        _out = nullptr;
        CloseHandle(_event);
        _event = nullptr;
        _mixer = nullptr;
    }

private:
    void Queue(int i) {
        _mixer->Render(_pcm[i].data(), _frames);
        _headers[i].dwFlags &= ~DWORD(WHDR_DONE);
        waveOutWrite(_out, &_headers[i], sizeof _headers[i]);
    }
    void Run() {
        // The refill thread must not be starved by the game's main thread.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        while (!_stop) {
            WaitForSingleObject(_event, 100);
            if (_stop) break;
            for (int i = 0; i < RING; ++i)
                if (_headers[i].dwFlags & WHDR_DONE) Queue(i);
        }
    }

    int32_t _rate;
    int32_t _frames = 0;
    TMixer* _mixer = nullptr;
    HWAVEOUT _out = nullptr;
    HANDLE _event = nullptr;
    WAVEHDR _headers[RING]{};
    std::vector<int16_t> _pcm[RING];
    int _prepared = 0;
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

}  // namespace

std::unique_ptr<TMixDevice> CreateWaveOutDevice(int32_t rate) { return std::make_unique<TWaveOutDevice>(rate); }

}  // namespace corvex::mixer

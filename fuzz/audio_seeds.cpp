// Writes the seed corpus of the sample loaders: small WAV files of every encoding and chunk
// layout the loader reads, and Ogg Vorbis files from libvorbisenc. Usage: fuzz_audio_seeds DIR
// Creates DIR/wav and DIR/ogg.
#include <sys/stat.h>

#include <string>

#include "audio/test_sounds.h"

using namespace corvex::testsounds;

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string root = argv[1];
    mkdir(root.c_str(), 0755);
    mkdir((root + "/wav").c_str(), 0755);
    mkdir((root + "/ogg").c_str(), 0755);
    int n = 0;
    for (int channels : {1, 2}) {
        const TWave wave = Sine(8000, 37, channels == 1 ? std::vector<double>{440} : std::vector<double>{440, 660}, 0.5);
        struct Kind {
            int bits;
            bool isFloat;
        } kinds[] = {{8, false}, {16, false}, {24, false}, {32, false}, {32, true}, {64, true}};
        for (const Kind& kind : kinds) {
            for (int variant = 0; variant < 3; ++variant) {
                TWavLayout layout;
                layout.tag = kind.isFloat ? 3 : 1;
                layout.channels = channels;
                layout.rate = 8000;
                layout.bits = kind.bits;
                layout.data = PackPcm(wave, kind.bits, kind.isFloat);
                if (variant == 1) {
                    layout.subTag = layout.tag;
                    layout.tag = 0xFFFE;
                }
                if (variant == 2) {
                    layout.dataBeforeFormat = true;
                    layout.extraChunks = {{"LIST", Bytes(3, 'a')}};
                }
                WriteFile(root + "/wav/seed" + std::to_string(n++) + ".wav", BuildWav(layout));
            }
        }
        WriteFile(root + "/ogg/seed" + std::to_string(n++) + ".ogg", EncodeOgg(Sine(8000, 3000, channels == 1 ? std::vector<double>{440} : std::vector<double>{440, 660}, 0.5), 0.0f));
    }
    return 0;
}

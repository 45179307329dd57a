// Pointers shared over the network. One copy hosts, others join it:
//
//     corvex_example_net [--port N]            host on UDP port N (default 45000)
//     corvex_example_net --join HOST:PORT      join a host
//
// Each player's pointer is a replicated object: slots 0 and 1 hold its position, slot 2 its
// colour, slot 3 a name. Every window draws every pointer in its player's colour and lists the
// peers with their round-trip times. The host pumps itself inside the polled input, so the
// loop below has no network code besides setting the slots. Escape ends the program.
#include <cstdio>
#include <cstring>
#include <string>
#include <corvex/corvex.h>

using namespace corvex;

namespace {

constexpr int kWidth = 400, kHeight = 300;
constexpr int32_t kColours[] = {0xFF5050, 0x50C8FF, 0x60E070, 0xFFC040, 0xC070FF, 0xFF80C0};

int32_t ColourOf(int32_t member) { return kColours[member % int32_t(std::size(kColours))]; }

void SetRgb(int32_t rgb) { SetColor(rgb >> 16 & 255, rgb >> 8 & 255, rgb & 255); }

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        std::string join;
        int32_t port = 45000;
        const auto& args = ApplicationArgs();
        for (size_t i = 1; i + 1 < args.size(); i += 2) {
            if (args[i] == u"--join") join = ToUtf8(args[i + 1]);
            if (args[i] == u"--port") port = std::stoi(ToUtf8(args[i + 1]));
        }

        Ref<TNetHost> host;
        if (join.empty()) {
            host = TNetHost::Listen("", port);
        } else {
            std::string name;
            int32_t joinPort = 0;
            if (!SplitHostPort(join, name, joinPort)) throw TRuntimeException("Not HOST:PORT: " + join);
            host = TNetHost::Connect(name, joinPort);
        }
        if (!host) throw TRuntimeException(NetError());

        SetApplicationTitle(join.empty() ? u"Corvex example: net host" : u"Corvex example: net join");
        if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a window");
        SetClsColor(24, 26, 36);

        Ref<TNetObject> pointer;  // ours, made once the host has given us a member id
        std::string status = join.empty() ? "hosting on port " + std::to_string(port) : "joining " + join;
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {  // KeyHits pumps the network too
            if (!pointer && host->MemberId() >= 0) {
                pointer = host->CreateObject();
                pointer->SetInt(2, ColourOf(host->MemberId()));
                pointer->SetString(3, FromUtf8("player " + std::to_string(host->MemberId())));
            }
            if (pointer) {  // only what changed travels, once per pump
                pointer->SetFloat(0, float(MousePosX()));
                pointer->SetFloat(1, float(MousePosY()));
            }
            if (!join.empty() && host->MemberId() >= 0) status = "joined as player " + std::to_string(host->MemberId());
            if (!join.empty() && host->Peers().empty() && pointer) status = "the host has gone";

            Cls();
            for (const Ref<TNetObject>& o : host->Objects()) {
                if (o->SlotType(0) != NETSLOT_FLOAT) continue;
                const float x = o->GetFloat(0), y = o->GetFloat(1);
                SetRgb(o->GetInt(2));
                DrawRect(x - 6, y - 6, 12, 12);
                DrawText(o->GetString(3), x + 9, y - 8);
            }
            SetColor(230, 230, 240);
            DrawText(status, 8, 8);
            int line = 0;
            for (const Ref<TNetPeer>& peer : host->Peers()) {
                char text[64];
                std::snprintf(text, sizeof text, "player %d  %d ms", int(peer->MemberId()), int(peer->RoundTripTime()));
                SetRgb(ColourOf(peer->MemberId()));
                DrawText(text, 8, float(28 + 16 * line++));
            }
            Flip(1);
        }
        host->Close();
    });
}

// The X11 system driver: pumps the X connection and the posted calls, moves and hides the
// pointer, and shows dialogs through a desktop helper when one is installed.
// It replaces the headless driver when the display opens.
#pragma once

#include <corvex/system/system.h>

namespace corvex::x11 {

class TX11SystemDriver : public TSystemDriver {
public:
    void Poll() override;   // posted calls, then every X event already received or readable
    void Wait() override;   // poll() on the X connection and the posted-call wake-up, then Poll()
    void MoveMouse(int32_t x, int32_t y) override;
    void SetMouseVisible(int32_t visible) override;
    void Notify(const TString& text, int32_t serious) override;
    int32_t Confirm(const TString& text, int32_t serious) override;
    int32_t Proceed(const TString& text, int32_t serious) override;
    TString RequestFile(const TString& title, const TString& filter, int32_t save, const TString& path) override;
    TString RequestDir(const TString& title, const TString& path) override;
    int32_t OpenURL(const TString& url) override;
};

void InstallX11SystemDriver();  // makes a TX11SystemDriver current (done when the display opens)
void StartX11SystemModule();    // module "system_x11"; starts "system" first

}  // namespace corvex::x11

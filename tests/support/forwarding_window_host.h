// A window host that hands every call to the headless host inside it, for
// tests that change one or two calls (a window that cannot be made, a
// dialog the test answers) and keep the rest as a headless run has them.
#pragma once

#include <memory>
#include <string>

#include "platform/window_host.h"

class ForwardingWindowHost : public plat::WindowHost {
 public:
  bool Create(plat::WindowHandle w, int x, int y, int cx, int cy) override { return inner_->Create(w, x, y, cx, cy); }
  void Destroy() override { inner_->Destroy(); }
  bool Exists() const override { return inner_->Exists(); }
  void Show(int showCommand) override { inner_->Show(showCommand); }
  bool Shown() const override { return inner_->Shown(); }
  void SetTitle(const std::string& cp932Title) override { inner_->SetTitle(cp932Title); }
  void Move(int x, int y) override { inner_->Move(x, y); }
  void SetClientSize(int cx, int cy) override { inner_->SetClientSize(cx, cy); }
  void CentreOnDesktop() override { inner_->CentreOnDesktop(); }
  plat::Rect ClientRectOnScreen() const override { return inner_->ClientRectOnScreen(); }
  plat::Rect WindowRectOnScreen() const override { return inner_->WindowRectOnScreen(); }
  bool Minimised() const override { return inner_->Minimised(); }
  bool Maximised() const override { return inner_->Maximised(); }
  void SetFullScreen(bool on) override { inner_->SetFullScreen(on); }
  void SetResizable(bool on) override { inner_->SetResizable(on); }
  bool Resizable() const override { return inner_->Resizable(); }
  plat::DesktopInfo Desktop() const override { return inner_->Desktop(); }
  void PumpEvents(uint32_t timeoutMs) override { inner_->PumpEvents(timeoutMs); }
  void Wake() override { inner_->Wake(); }
  void Present(plat::Frame& frame, bool changed) override { inner_->Present(frame, changed); }
  uint64_t FramesPresented() const override { return inner_->FramesPresented(); }
  bool LastFrame(plat::Frame& out) const override { return inner_->LastFrame(out); }
  int RunMessageBox(const plat::MessageBoxSpec& box) override { return inner_->RunMessageBox(box); }
  bool RunModalView(plat::ModalView& view) override { return inner_->RunModalView(view); }

 private:
  std::unique_ptr<plat::WindowHost> inner_ = plat::MakeHeadlessWindowHost();
};

// The media player control.
#include "mplayer.h"
#include "qtbridge.h"

namespace {

std::unique_ptr<TControl::Impl> MakeHiddenImpl()
{
    auto impl = std::make_unique<TControl::Impl>();
    auto* widget = new QWidget;
    // Even when shown it must not cover the elements under its box or take their clicks.
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setFocusPolicy(Qt::NoFocus);
    impl->widget = widget;
    return impl;
}

} // namespace

TMediaPlayer::TMediaPlayer(TComponent* owner) : TControl(owner, MakeHiddenImpl())
{
    SetVisible(false);
}

#include "frames/ZvFrame.h"

namespace zv {

TZvFrame::TZvFrame(QWidget* parent) : QWidget(parent)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    setFont(f);
}

FrameFactorySeam::Seam& FrameFactorySeam::seam()
{
    static Seam s([](const FrameRequest&) -> TZvFrame* { return nullptr; });
    return s;
}

TZvFrame* FrameFactorySeam::make(TZvFrameKind kind, TZvFrameHost* host, QWidget* tab)
{
    return seam().call(FrameRequest{kind, host, tab});
}

void FrameFactorySeam::setFactories(Factory tasks, Factory memos)
{
    if (!tasks && !memos) {
        seam().setHandler(nullptr);
        return;
    }
    seam().setHandler([tasks, memos](const FrameRequest& r) -> TZvFrame* {
        const Factory factory = r.kind == TZvFrameKind::Tasks ? tasks : memos;
        return factory ? factory(r.host, r.tab) : nullptr;
    });
}

} // namespace zv

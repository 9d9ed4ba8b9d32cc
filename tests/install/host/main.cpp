// A host application built against an installed Tolvik: the package, the umbrella header and the
// library link and work.
#include <tolvik/tolvik.h>

#include <cstdio>

int main() {
    tolvik::CGPSEngine engine;
    const tolvik::CString last = engine.FindReceiver(L"no such model")->GetName();
    tolvik::CBinBuffer buffer("$GPGGA,1,2*00\r\n", 15);
    std::printf("%zu receivers, fallback \"%s\"\n", engine.Receivers().size(), last.ToBytes().c_str());
    return engine.Receivers().size() == 19 && last == L"Other" && buffer.GetCurrentMessage() ? 0 : 1;
}

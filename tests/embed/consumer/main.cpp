// Loads a picture into a control in a headless site and prints what an embedder sees.
#include <lumora/lumora.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    control::CLumoraCtrl control;
    platform::HeadlessSite site(control, 64, 48);
    control.InitNew();
    try {
        control.SetProperty("FileName", platform::Variant::Bstr(argv[1]));
    } catch (const platform::ControlError& e) {
        std::printf("Error %u\n", static_cast<unsigned>(e.number()));
        return 1;
    }
    site.Paint();
    std::printf("%s %d %d\n", LUMORA_VERSION_STRING, control.GetProperty("bmpw").AsI2(),
                control.GetProperty("bmph").AsI2());
    return 0;
}

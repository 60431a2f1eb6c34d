// The authoring program: creates its windows in order and runs the event loop.
#include "edunit0.h"

int main()
{
    Application->Initialize();
    Application->SetTitle("Pagora ");
    Application->SetHelpFile("pagoraed.hlp");
    Application->CreateForm(DataModule1);
    Application->Run();
    return 0;
}

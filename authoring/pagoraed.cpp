// The authoring program: creates its windows in order and runs the event loop.
#include "edunit1.h"
#include "edunit2.h"
#include "edunit3.h"

int main()
{
    Application->Initialize();
    Application->SetTitle("Pagora ");
    Application->SetHelpFile("pagoraed.hlp");
    Application->CreateForm(Form1);
    Application->CreateForm(DataModule1);
    Application->CreateForm(Form2);
    Application->CreateForm(Form3);
    Application->Run();
    return 0;
}

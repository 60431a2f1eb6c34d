// The viewer: creates its windows in order and runs the event loop.
#include "shunit1.h"
#include "shunit2.h"

int main()
{
    Application->Initialize();
    Application->SetTitle("Pagora Viewer");
    Application->CreateForm(Form1);
    Application->CreateForm(DataModule1);
    Application->CreateForm(Form3);
    Application->Run();
    return 0;
}

// The authoring program in a test: its windows created in the order its program block creates
// them, in a scratch folder that is the current folder meanwhile and holds a mascot.bmp of its
// own. Everything goes, and the previous current folder comes back, with the object.
#pragma once

#include "edunit1.h"
#include "edunit2.h"
#include "edunit3.h"
#include "filetesting.h"
#include "uiprobe.h"

#include <filesystem>
#include <string>

class EditorProgram {
public:
    EditorProgram() : previousFolder_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder_.Path());
        probe::WriteBitmap(Mascot(), 6, 4, 0x00FF00);
        Application->SetTitle("Pagora ");
        Application->CreateForm(Form1);
        Application->CreateForm(DataModule1);
        Application->CreateForm(Form2);
        Application->CreateForm(Form3);
    }

    ~EditorProgram()
    {
        delete Form3;
        delete Form2;
        delete DataModule1;
        delete Form1;
        Form3 = nullptr;
        Form2 = nullptr;
        DataModule1 = nullptr;
        Form1 = nullptr;
        std::filesystem::current_path(previousFolder_);
    }

    EditorProgram(const EditorProgram&) = delete;
    EditorProgram& operator=(const EditorProgram&) = delete;

    const testing_files::ScratchFolder& Folder() const { return folder_; }
    std::string Mascot() const { return folder_ / "mascot.bmp"; }

private:
    testing_files::ScratchFolder folder_;
    std::filesystem::path previousFolder_;
};

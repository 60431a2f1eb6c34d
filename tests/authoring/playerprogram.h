// The authoring program's player window in a test: a new work's page table and variables, a
// scratch start folder holding a mascot.bmp of its own, and a stand-in for the editing window
// as the program's main window, so that closing the player only hides it and the player has
// a window to lose the activation to. The player shows no boxes of its own: a box shown while
// the holder lives fails the test.
#pragma once

#include "edunit3.h"
#include "filetesting.h"
#include "modal.h"
#include "uiprobe.h"

#include <gtest/gtest.h>

#include <string>

class PlayerProgram {
public:
    PlayerProgram()
    {
        if (!MainWindow()) {
            Application->CreateForm(MainWindow());
            MainWindow()->SetCaption("main");
        }
        ResetAllPages();
        WorkWidth = DefaultWorkWidth;
        WorkHeight = DefaultWorkHeight;
        CurrentPage = 1;
        LinkTarget = 0;
        WorkFileName.clear();
        StartFolder = folder_.Path().string() + "\\";
        probe::WriteBitmap(Mascot(), 6, 4, 0x00FF00);
        Application->CreateForm(Form3);
    }

    ~PlayerProgram()
    {
        for (const auto& message : modal_.messages)
            ADD_FAILURE() << "box shown: " << message.text;
        delete Form3;
        Form3 = nullptr;
        MainWindow()->Hide();
    }

    PlayerProgram(const PlayerProgram&) = delete;
    PlayerProgram& operator=(const PlayerProgram&) = delete;

    static TForm*& MainWindow()
    {
        static TForm* window = nullptr;
        return window;
    }

    const testing_files::ScratchFolder& Folder() const { return folder_; }
    // Answers the print dialog in the tests that print.
    ModalScript& Modal() { return modal_; }
    std::string Mascot() const { return folder_ / "mascot.bmp"; }

    // Shows the player and waits for the layout that follows its activation.
    static bool ShowAndLayOut()
    {
        Form3->Show();
        return probe::WaitFor([] { return Form3->Active() && !Form3->Timer1->Enabled(); });
    }

private:
    testing_files::ScratchFolder folder_;
    ModalScript modal_;
};

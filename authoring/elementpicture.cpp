// Element pictures and their fallback.
#include "elementpicture.h"
#include "pagetable.h"

void LoadMascot(TPicture* picture)
{
    try {
        picture->LoadFromFile(StartFolder + "mascot.bmp");
    } catch (const Exception&) {
        picture->LoadFromResource(LayoutPictureResource);
    }
}

bool LoadElementPicture(TPicture* picture, const AnsiString& fileName)
{
    if (!fileName.empty()) {
        try {
            picture->LoadFromFile(fileName);
            return true;
        } catch (const Exception&) {
        }
    }
    LoadMascot(picture);
    return false;
}

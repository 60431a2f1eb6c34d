// Element pictures and their fallback.
#include "elementpicture.h"
#include "pagetable.h"

#include <exception>

void LoadMascot(TPicture* picture)
{
    try {
        picture->LoadFromFile(StartFolder + "mascot.bmp");
    } catch (const std::exception&) {
        picture->LoadFromResource(LayoutPictureResource);
    }
}

bool LoadElementPicture(TPicture* picture, const AnsiString& fileName)
{
    if (!fileName.empty()) {
        try {
            picture->LoadFromFile(fileName);
            return true;
        } catch (const std::exception&) {
        }
    }
    LoadMascot(picture);
    return false;
}

#include "support/programstate.h"

#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "services/clsFileInfo.h"

#include <vector>

namespace tf::test {

namespace {
std::vector<StateReset>& resets()
{
    static std::vector<StateReset> list;
    return list;
}
} // namespace

bool addStateReset(StateReset reset)
{
    resets().push_back(reset);
    return true;
}

void resetProgramState()
{
    gstrCurrentOperation.clear();
    gstrApplicationName.clear();
    gstrErrVersion.clear();
    gstrErrRoutine.clear();
    gintErrLine = 0;
    gstrErrOperation.clear();
    gstrErrText.clear();
    gudtSettings = typSettings();
    gstrSettingsFile.clear();
    gstrCurrentFolder.clear();
    glngFolderThumbWidth = glngFolderThumbHeight = 0;
    glngPagesThumbWidth = glngPagesThumbHeight = 0;
    gblnSettingsFromFile = false;
    gclsFileInfo = clsFileInfo();
    for (StateReset reset : resets()) reset();
}

} // namespace tf::test

#include "console/TipOfTheDay.h"

#include "platform/IniFile.h"

namespace orvane {

const std::array<const char*, TipOfTheDay::kCount> TipOfTheDay::kTips = {
    "First, setup your FTP Server to select options you find interested.",
    "To add users, go in Setup/Users Account.",
    "To add an anonymous user, simply uncheck login and password.",
    "If you want users to upload more : put a max download credit, setup a ratio (for example: "
    "1/2) and add links to upload dirs.",
    "If you want to hide files to users, check the 'Hide hidden files' option and hide files you "
    "don't want them to see.",
    "If you don't want more users connected to your server, click on the 'Closed' button in the "
    "'Files' menu.",
    "A directory can only be deleted if the user has a delete access to the parent directory and "
    "only if this directory is empty.",
    "To know how to use and what can this FTP Server do : read the FTPsrv.doc file.",
    "You can ban a user by dragging his name over the ban list.",
    "To have a better list of users, go in the Users Infos : you can double click in the users "
    "list.",
    "You can click on the right mouse button to have more options.",
    "You can see statitics in Files/Statistics.",
    "In the Users Infos, right click on a user and select spy to know what commands does he send "
    "and what are the answers from the server.",
    "Add a '+' at the beginning of your links : this will be better to see that they are links.",
};

bool TipOfTheDay::ShowAtStartUp(const IniFile& ini) {
  return ini.ReadBool("FTPServer", "Tip", true);
}

bool TipOfTheDay::Store(IniFile& ini) const {
  return ini.WriteBool("FTPServer", "Tip", ShowOnStartup);
}

}  // namespace orvane

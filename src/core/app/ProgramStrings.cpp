#include "app/ProgramStrings.h"

namespace ombrix {
namespace {

struct Entry {
    int id;
    const char* text;
};

constexpr Entry kStrings[] = {
    {1, "OBX"},
    {2, "Lumenar - Standard Edition"},
    {5, "Projector  :"},
    {6, "Projector ["},
    // Menu help for the system menu and the top-level pop-ups.
    {900, "Moves, sizes or closes the window"},
    {901, "Commands for the child window"},
    {1000, "Opens working windows and ends the program"},
    {1100, "Edits the text"},
    {1200, "Searches the text"},
    {1300, "Arranges the windows"},
    {1400, "Help and information about the program"},
    {1500, "Chooses the search, shows the address set and sets up the line"},
    {1600, "Saves and loads the RAM container"},
    {1700, "Loads, saves and edits the projector groups"},
    {1800, "Settings, listings and the remote control"},
    {1008, "Saves the options and quits Ombrix"},
    {1303, "Closes all windows"},
    {1310, "Opens the help topics"},
    {1401, "Displays program information, version number and copyright"},
    // Communication settings dialog.
    {5010, "COM"},
    {5020, "110"},
    {5021, "300"},
    {5022, "600"},
    {5023, "1200"},
    {5024, "2400"},
    {5025, "4800"},
    {5026, "9600"},
    {5030, "None"},
    {5031, "Even"},
    {5032, "Odd"},
    {5040, "1"},
    {5041, "1.5"},
    {5042, "2"},
    {5043, "0"}, {5044, "1"}, {5045, "2"}, {5046, "3"}, {5047, "4"}, {5048, "5"}, {5049, "6"},
    {5050, "7"}, {5051, "8"}, {5052, "9"}, {5053, "10"}, {5054, "11"}, {5055, "12"}, {5056, "13"},
    {5057, "14"}, {5058, "15"},
    // Help lines and tool tips, by command id.
    {40006, "Activates Ombrix Explorer"},
    {40008, "Sets up the serial communication"},
    {40018, "Displays the simulated Remote Control"},
    {40028, "Activates Ombrix Communication"},
    {40031, "Checks connection from address 1 to 16. "},
    {40032, "Checks connection from address 1 to 128. "},
    {40036, "Checks connection with a userdefined addressset"},
    {40037, "Checks connection with a generated addressset"},
    {40038, "Displays the addressset"},
    {40047, "Check Connection"},
    {40087, "Skips search"},
    {40088, "Checks connection from address 1 to 256 "},
    {40089, "Checks connection in a predefined range"},
    {40125, "Probes each address briefly; projectors that answer are then identified as usual"},
    // Help lines and tool tips of the working windows' commands, by command id.
    {1001, "Creates a new text file"},
    {1002, "Opens an existing text file"},
    {1003, "Saves the text file"},
    {1004, "Saves the text file under a new name"},
    {1005, "Closes the text file"},
    {1006, "Prints the text"},
    {1007, "Chooses the printer and its settings"},
    {1101, "Undoes the last change"},
    {1102, "Cuts the selection to the clipboard"},
    {1103, "Copies the selection to the clipboard"},
    {1104, "Inserts the clipboard's text"},
    {1105, "Deletes the selection"},
    {1201, "Finds a text"},
    {1202, "Finds the next occurrence"},
    {1203, "Finds the previous occurrence"},
    {1204, "Replaces a text"},
    {1301, "Arranges the windows side by side"},
    {1302, "Arranges the windows overlapping"},
    {1304, "Arranges the icons"},
    {40001, "Selects the whole text"},
    {40002, "Chooses the font of the text"},
    {40082, "Creates a new group"},
    {40083, "Saves the RAM container to a settings file"},
    {40084, "Loads a settings file into the RAM container"},
    {40085, "Organises the RAM containers"},
    {40086, "Appends a settings file to the RAM container"},
    {40090, "Deletes the group"},
    {40091, "Renames the group"},
    {40098, "Saves the grouping"},
    {40099, "Loads a grouping"},
    {40100, "Shows the settings of the block"},
    {40102, "Closes Ombrix Explorer and returns to the main window"},
    {40116, "Closes Ombrix Communication and returns to the main window"},
    {40119, "Activates Ombrix Explorer"},
    {40120, "Activates Ombrix Communication"},
    {40121, "Writes the list of projector blocks to a text file"},
    {40122, "Writes the list of RAM blocks to a text file"},
    // What the background check's evaluation shows of a projector.
    {61751, "Projector is Operating"},
    {61752, "Projector in Pause"},
    {61754, "Text is on"},
    {61755, "Text is off"},
    {61756, "Projector is in PC-mode"},
    {61757, "Projector is not in PC_mode"},
    {61758, "Sound is available"},
    {61760, "Convergence is stripped"},
    {61762, "Magnetic focus is on"},
    {61764, "Orbit is installed"},
    {61766, "Soft Edge is installed"},
    {61768, "Contrast Modulation is installed"},
    {61770, "NS on convergence"},
    {61772, "ASIC is installed"},
    {61774, "IRIS is installed"},
    // Check intervals.
    {61776, "10 sec"},
    {61777, "30 sec"},
    {61778, "1 min"},
    {61779, "5 min"},
    {61780, "15 min"},
    {61781, "30 min"},
    {61782, "1 hour"},
    // Source types of a forced block.
    {61817, "Video"},
    {61818, "SVHS"},
    {61819, "TTL"},
    {61820, "RGsB"},
    {61821, "RGBS"},
};

}  // namespace

const char* ProgramString(int id) {
    for (const Entry& e : kStrings) {
        if (e.id == id) return e.text;
    }
    return nullptr;
}

}  // namespace ombrix

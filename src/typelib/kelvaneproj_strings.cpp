// The numbered string table of kelvaneproj: model names, error and warning
// texts, type-family names. Message texts are shown to the user exactly as
// stored, trailing blanks and spelling included, so edit them with care.

#include <cstddef>

namespace kelvaneproj_detail {

const char *StringText(int number);

namespace {

// Model names, strings 2-50. Scheme "Z<letter>-<type code><variant>": the
// second character is the model's type letter because the main program
// derives the letter from it; the digits give type code and running variant.
constexpr const char *kModelNames[] = {
    "ZV-051",  // 2
    "ZV-021",  // 3
    "ZV-041",  // 4
    "ZD-001",  // 5
    "ZG-002",  // 6
    "ZD-031",  // 7
    "ZD-111",  // 8
    "ZV-112",  // 9
    "ZG-022",  // 10
    "ZG-011",  // 11
    "ZD-081",  // 12
    "ZG-082",  // 13
    "ZS-061",  // 14
    "ZD-071",  // 15
    "ZD-052",  // 16
    "ZG-091",  // 17
    "ZS-101",  // 18
    "ZG-131",  // 19
    "ZS-141",  // 20
    "ZD-012",  // 21
    "ZD-092",  // 22
    "ZG-161",  // 23
    "ZD-162",  // 24
    "ZV-151",  // 25
    "ZV-102",  // 26
    "ZV-171",  // 27
    "ZD-181",  // 28
    "ZV-191",  // 29
    "ZS-201",  // 30
    "ZS-211",  // 31
    "ZV-212",  // 32
    "ZD-221",  // 33
    "ZD-231",  // 34
    "ZG-232",  // 35
    "ZV-251",  // 36
    "ZD-252",  // 37
    "ZG-253",  // 38
    "ZD-241",  // 39
    "ZG-242",  // 40
    "ZS-261",  // 41
    "ZS-271",  // 42
    "ZD-281",  // 43
    "ZV-291",  // 44
    "ZG-301",  // 45
    "ZV-311",  // 46
    "ZV-321",  // 47
    "ZV-331",  // 48
    "ZV-341",  // 49
    "ZG-351",  // 50
};

// Error texts, string 103 + error number.
constexpr const char *kErrorTexts[] = {
    "Can't open file user_adr.cfg",  // 0
    "Insufficient memory",  // 1
    "Can't open file adr.cfg",  // 2
    "Connection failed (in create)",  // 3
    "Connection failed (in setup)",  // 4
    "Unable to proceed operation : found a projector with identical address in destination group",  // 5
    "Unable to retrieve data from dragged item",  // 6
    "Can't set data item",  // 7
    "Can't update item",  // 8
    "Can't overwrite a block with a special block",  // 9
    "Unable to retrieve data from dropped item",  // 10
    "Unable to retrieve data from item to delete",  // 11
    "Unable to fill the compare list",  // 12
    "Unable to retrieve min/max values",  // 13
    "Treeview of projectors not created",  // 14
    "Items not added",  // 15
    "Failed to create listing of projectorblocks",  // 16
    "Failed to create listing of RAMblocks",  // 17
    "Unable to fill the RAMcontainers",  // 18
    "Unable to retrieve data from dragged item",  // 19
    "Unable to find owner group of selected projector",  // 20
    "Failed to create imagelist",  // 21
    "Unable to create the thread for \"Check Connection\"",  // 22
    "Unable to retrieve data from selected projector",  // 23
    "Unable to load data from groupmanagement",  // 24
    "Unable to save file",  // 25
    "Can't open RAMfile (*.set)",  // 26
    "Failed to create Projector Info",  // 27
    "Unable to retrieve data for settings",  // 28
    "Refresh screen failed",  // 29
    "Can't load \"kelvaneproj.dll\"",  // 30
    "Unable to load images",  // 31
    "Unable to load items",  // 32
    "Unable to retrieve data from selected group",  // 33
    "Unable to add address to maingroup",  // 34
    "No address selected, no projector added to group",  // 35
    "Unable to open description file",  // 36
    "Unable to initialize the listview",  // 37
    "Unable to open textfile",  // 38
    "Memory allocation problem in conversion from listview to textfile",  // 39
    "Memory allocation problem for textbuffer",  // 40
    "Can't load \"kelvanebmp.dll\"",  // 41
    "Unable to read the settings of the selected projectorblock",  // 42
    "Unable to insert item in list",  // 43
    "Unable to compare special block with a block of this origin",  // 44
    "No defined addresses found, proceeding with default addresses",  // 45
    "No more files found to search",  // 46
    "Unable to display the remote control",  // 47
    "Loading Remote Control failed",  // 48
    "Unknown alpha id detected ",  // 49
};

// Warning texts, string 204 + warning number.
constexpr const char *kWarningTexts[] = {
    "Can't find file adr.cfg, probably not created yet",  // 0
    "Address is already defined in list, can't add",  // 1
    "Failed to create dragimage",  // 2
    "Failed to lock dragimage",  // 3
    "Can't move any projectors from the main group",  // 4
    "Unable to retrieve data from dragged item",  // 5
    "Can't exceed maximum number of 300 RAMblocks",  // 6
    "Unable to copy blocks, please drop the blocks in the correct RAMcontainer",  // 7
    "Can't overwrite block, type conflict",  // 8
    "Only overwrite contents from a projector with corresponding type  ",  // 9
    "Unable to copy block, detected an identical header inside the projector ",  // 10
    "Can't copy a special block to the projector",  // 11
    "Can't drag a RAMcontainer",  // 12
    "Can't copy a block from a different type of projector",  // 13
    "Can't copy the selected blocks to the projector beacuse the number of selected blocks exceeds the number of available free blocks",  // 14
    "Can't open file",  // 15
    "Can't open description file",  // 16
    "Can't open default description file",  // 17
    "No connected projectors found",  // 18
    "No items added to the RAMcontainer",  // 19
    "Can't free a special block",  // 20
    "Can't undelete a special block",  // 21
    "No block selected for adjustment",  // 22
    "No block selected for reference",  // 23
    "Data not accessible while projector is in standby",  // 24
    "Unable to find a projector with an according address",  // 25
    "Unable to delete the main group",  // 26
    "Unable to retrieve data from deleted group",  // 27
    "No projector or group selected",  // 28
    "Found nothing to save",  // 29
    "Can't set background",  // 30
    "Please select a group first to add the projector to",  // 31
    "Unable to retrieve data from the selected group",  // 32
    "No item selected",  // 33
    "RAMcontainer doesn't contain anything, please select a valid block",  // 34
    "Please select a block first",  // 35
    "Please select a projector first",  // 36
    "Projector is not connected",  // 37
    "Connection already opened",  // 38
    "Connection already closed",  // 39
    "Unable to identify selected setting, switched to default setting",  // 40
    "Unable to retrieve the requested settings, probably not implemented in description file yet",  // 41
    "Problems creating \"Options.cfg\"",  // 42
    "Can't append file because maximum number of RAMblocks are exceeded",  // 43
    "Can not exceed total number of 10 windows",  // 44
    "Can't open \"options.cfg\", default options loaded",  // 45
};

// Type-family names, string 305 + type code. A name beginning with "12"
// marks a family whose mounting orientation is reported mirrored, so only
// the families that really are mirrored may start that way.
constexpr const char *kFamilyTexts[] = {
    "Z-00 series",  // 0
    "Z-01 series",  // 1
    "12Z-02 series",  // 2
    "Z-03 series",  // 3
    "Z-04 series",  // 4
    "Z-05 series",  // 5
    "Z-06 series",  // 6
    "Z-07 series",  // 7
    "12Z-08 series",  // 8
    "Z-09 series",  // 9
    "Z-10 series",  // 10
    "Z-11 series",  // 11
    "Z-12 series",  // 12
    "Z-13 series",  // 13
    "Z-14 series",  // 14
    "Z-15 series",  // 15
    "Z-16 series",  // 16
    "Z-17 series",  // 17
    "Z-18 series",  // 18
    "Z-19 series",  // 19
    "Z-20 series",  // 20
    "Z-21 series",  // 21
    "Z-22 series",  // 22
    "Z-23 series",  // 23
    "Z-24 series",  // 24
    "Z-25 series",  // 25
    "Z-26 series",  // 26
    "Z-27 series",  // 27
    "Z-28 series",  // 28
    "Z-29 series",  // 29
    "Z-30 series",  // 30
    "Z-31 series",  // 31
    "Z-32 series",  // 32
    "Z-33 series",  // 33
    "Z-34 series",  // 34
    "Z-35 series",  // 35
};

template <typename T, std::size_t N>
constexpr int Count(const T (&)[N]) { return static_cast<int>(N); }

static_assert(Count(kModelNames) == 49);
static_assert(Count(kErrorTexts) == 50);
static_assert(Count(kWarningTexts) == 46);
static_assert(Count(kFamilyTexts) == 36);

}  // namespace

// Returns the text of string `number`, or nullptr when there is none.
const char *StringText(int number) {
    if (number == 1) return "49";  // number of model names
    if (number >= 2 && number <= 50) return kModelNames[number - 2];
    if (number >= 51 && number <= 102) return "Unknown";
    if (number >= 103 && number <= 203) {
        const int n = number - 103;
        return n < Count(kErrorTexts) ? kErrorTexts[n] : "Can't";
    }
    if (number >= 204 && number <= 304) {
        const int n = number - 204;
        return n < Count(kWarningTexts) ? kWarningTexts[n] : "unknown";
    }
    if (number >= 305 && number <= 340) return kFamilyTexts[number - 305];
    if (number >= 341 && number <= 375) return "Unknown";
    if (number == 376) return "36";  // number of type families
    return nullptr;
}

}  // namespace kelvaneproj_detail

// The group table's rules, the grouping file and the target lists.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "../support/TempDir.h"
#include "blocks/Groups.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

Grouping Dome() {
    Grouping g;
    g.groups.push_back(UserGroup{"Dome", {3, 6}, {}});
    g.groups.push_back(UserGroup{"Wall", {1}, {}});
    return g;
}

std::string Describe(const Grouping& g) {
    std::string s;
    for (const UserGroup& u : g.groups) {
        s += u.name + ":";
        for (uint8_t a : u.members) s += " " + std::to_string(a);
        s += ";";
    }
    return s;
}

struct RuleCase {
    const char* label;
    std::function<GroupResult(Grouping&)> change;
    bool ok;
    int error;
    int warning;
    std::string after;  // the table afterwards
};

class GroupRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(GroupRules, ChangesAllOrNothing) {
    const RuleCase& c = GetParam();
    Grouping g = Dome();
    const GroupResult r = c.change(g);
    EXPECT_EQ(r.ok, c.ok) << r.text;
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.warning, c.warning);
    if (!r.ok) {
        EXPECT_FALSE(r.text.empty());
    }
    EXPECT_EQ(Describe(g), c.after);
}

const std::string k31(31, 'x');

INSTANTIATE_TEST_SUITE_P(
    Groups, GroupRules,
    ::testing::Values(
        RuleCase{"add_group_at_the_end", [](Grouping& g) { return AddGroup(g, "Sim"); }, true, 0, 0,
                 "Dome: 3 6;Wall: 1;Sim:;"},
        RuleCase{"add_group_trims_blanks", [](Grouping& g) { return AddGroup(g, "  Sim "); }, true, 0, 0,
                 "Dome: 3 6;Wall: 1;Sim:;"},
        RuleCase{"add_group_name_of_31", [](Grouping& g) { return AddGroup(g, k31); }, true, 0, 0,
                 "Dome: 3 6;Wall: 1;" + k31 + ":;"},
        RuleCase{"add_group_name_of_32_refused", [](Grouping& g) { return AddGroup(g, k31 + "y"); }, false, 0, 0,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_group_empty_refused", [](Grouping& g) { return AddGroup(g, "   "); }, false, 0, 0,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_group_duplicate_refused", [](Grouping& g) { return AddGroup(g, "Dome"); }, false, 0, 0,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_group_control_char_refused", [](Grouping& g) { return AddGroup(g, "Do\nme"); }, false, 0,
                 0, "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_group_bad_utf8_refused", [](Grouping& g) { return AddGroup(g, "Do\xC3"); }, false, 0, 0,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_members_in_order", [](Grouping& g) { return AddMembers(g, "Dome", {9, 2}); }, true, 0, 0,
                 "Dome: 3 6 9 2;Wall: 1;"},
        RuleCase{"add_member_twice_is_error_5",
                 [](Grouping& g) { return AddMembers(g, "Dome", {9, 6}); }, false, 5, 0, "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_same_address_twice_in_one_call",
                 [](Grouping& g) { return AddMembers(g, "Dome", {9, 9}); }, false, 5, 0, "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_nothing_is_error_35", [](Grouping& g) { return AddMembers(g, "Dome", {}); }, false, 35, 0,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_to_no_group_is_warning_31", [](Grouping& g) { return AddMembers(g, "Nope", {4}); }, false,
                 0, 31, "Dome: 3 6;Wall: 1;"},
        RuleCase{"add_address_0_refused", [](Grouping& g) { return AddMembers(g, "Wall", {0}); }, false, 0, 0,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"a_projector_may_be_in_two_groups", [](Grouping& g) { return AddMembers(g, "Wall", {3}); },
                 true, 0, 0, "Dome: 3 6;Wall: 1 3;"},
        RuleCase{"remove_member", [](Grouping& g) { return RemoveMembers(g, "Dome", {3}); }, true, 0, 0,
                 "Dome: 6;Wall: 1;"},
        RuleCase{"remove_non_member_refused_whole",
                 [](Grouping& g) { return RemoveMembers(g, "Dome", {3, 7}); }, false, 0, 0, "Dome: 3 6;Wall: 1;"},
        RuleCase{"remove_nothing_is_error_35", [](Grouping& g) { return RemoveMembers(g, "Dome", {}); }, false,
                 35, 0, "Dome: 3 6;Wall: 1;"},
        RuleCase{"delete_group_keeps_the_others", [](Grouping& g) { return DeleteGroup(g, "Dome"); }, true, 0, 0,
                 "Wall: 1;"},
        RuleCase{"delete_unknown_group", [](Grouping& g) { return DeleteGroup(g, "dome"); }, false, 0, 32,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"main_group_cannot_be_deleted", [](Grouping&) { return MainGroupDeleteRefused(); }, false, 0,
                 26, "Dome: 3 6;Wall: 1;"},
        RuleCase{"nothing_moves_out_of_main", [](Grouping&) { return MainGroupRemoveRefused(); }, false, 0, 4,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"rename", [](Grouping& g) { return RenameGroup(g, "Wall", "Video wall"); }, true, 0, 0,
                 "Dome: 3 6;Video wall: 1;"},
        RuleCase{"rename_to_itself", [](Grouping& g) { return RenameGroup(g, "Wall", "Wall"); }, true, 0, 0,
                 "Dome: 3 6;Wall: 1;"},
        RuleCase{"rename_to_taken_name_refused", [](Grouping& g) { return RenameGroup(g, "Wall", "Dome"); },
                 false, 0, 0, "Dome: 3 6;Wall: 1;"},
        RuleCase{"rename_too_long_refused", [](Grouping& g) { return RenameGroup(g, "Wall", k31 + "y"); }, false,
                 0, 0, "Dome: 3 6;Wall: 1;"},
        RuleCase{"rename_empty_refused", [](Grouping& g) { return RenameGroup(g, "Wall", ""); }, false, 0, 0,
                 "Dome: 3 6;Wall: 1;"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Groups, AGroupHoldsAtMost255) {
    Grouping g;
    ASSERT_TRUE(AddGroup(g, "All").ok);
    std::vector<uint8_t> all;
    for (int a = 1; a <= 255; ++a) all.push_back(static_cast<uint8_t>(a));
    EXPECT_TRUE(AddMembers(g, "All", all).ok);
    EXPECT_EQ(g.groups[0].members.size(), 255u);
}

// ---- the grouping file ----

bool Parse(const std::string& text, Grouping* out, std::string* why) {
    return ParseGroups(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out, why);
}

struct DamagedCase {
    const char* label;
    std::string text;
};

class DamagedFile : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedFile, IsRefusedWithAReasonAndNothingChanges) {
    Grouping g = Dome();
    std::string why;
    EXPECT_FALSE(Parse(GetParam().text, &g, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(Describe(g), "Dome: 3 6;Wall: 1;");
}

INSTANTIATE_TEST_SUITE_P(
    Groups, DamagedFile,
    ::testing::Values(
        DamagedCase{"empty", ""}, DamagedCase{"not_json", "groups: Dome"},
        DamagedCase{"truncated", R"({"version": 1, "groups": [{"name": "Dome", "members": [3,)"},
        DamagedCase{"array_at_top", R"([{"name": "Dome"}])"},
        DamagedCase{"no_version", R"({"groups": []})"},
        DamagedCase{"version_2", R"({"version": 2, "groups": []})"},
        DamagedCase{"version_as_text", R"({"version": "1", "groups": []})"},
        DamagedCase{"no_groups", R"({"version": 1})"},
        DamagedCase{"groups_not_array", R"({"version": 1, "groups": {"Dome": [3]}})"},
        DamagedCase{"group_not_object", R"({"version": 1, "groups": ["Dome"]})"},
        DamagedCase{"group_without_name", R"({"version": 1, "groups": [{"members": [3]}]})"},
        DamagedCase{"name_not_text", R"({"version": 1, "groups": [{"name": 7, "members": [3]}]})"},
        DamagedCase{"name_empty", R"({"version": 1, "groups": [{"name": "", "members": []}]})"},
        DamagedCase{"name_too_long",
                    R"({"version": 1, "groups": [{"name": "12345678901234567890123456789012", "members": []}]})"},
        DamagedCase{"name_twice", R"({"version": 1, "groups": [{"name": "A", "members": []},
                                                              {"name": "A", "members": []}]})"},
        DamagedCase{"no_members", R"({"version": 1, "groups": [{"name": "A"}]})"},
        DamagedCase{"member_0", R"({"version": 1, "groups": [{"name": "A", "members": [0]}]})"},
        DamagedCase{"member_256", R"({"version": 1, "groups": [{"name": "A", "members": [256]}]})"},
        DamagedCase{"member_fraction", R"({"version": 1, "groups": [{"name": "A", "members": [3.5]}]})"},
        DamagedCase{"member_text", R"({"version": 1, "groups": [{"name": "A", "members": ["3"]}]})"},
        DamagedCase{"member_twice", R"({"version": 1, "groups": [{"name": "A", "members": [3, 3]}]})"},
        DamagedCase{"groups_key_twice", R"({"version": 1, "groups": [{"name": "A", "members": [3]}],
                                            "groups": [{"name": "B", "members": [4]}]})"},
        DamagedCase{"members_key_twice", R"({"version": 1, "groups": [{"name": "A", "members": [3], "members": []}]})"},
        DamagedCase{"nested_too_deep", R"({"version": 1, "groups": [], "x": )" + std::string(100, '[') +
                                           std::string(100, ']') + "}"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(GroupsFile, UnknownKeysSurviveARewrite) {
    const std::string text = R"({"version": 1, "site": {"room": "B2"}, "groups": [
        {"name": "Dome", "colour": "blue", "members": [3, 6]}], "zz": [1, 2]})";
    Grouping g;
    std::string why;
    ASSERT_TRUE(Parse(text, &g, &why)) << why;
    ASSERT_TRUE(AddMembers(g, "Dome", {9}).ok);
    const std::vector<uint8_t> bytes = EncodeGroups(g);
    Grouping back;
    ASSERT_TRUE(ParseGroups(bytes.data(), bytes.size(), &back, &why)) << why;
    EXPECT_EQ(Describe(back), "Dome: 3 6 9;");
    const std::string out(bytes.begin(), bytes.end());
    EXPECT_NE(out.find(R"("room": "B2")"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("colour": "blue")"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("zz")"), std::string::npos) << out;
    // version first, as a reader of the file expects to see it
    EXPECT_LT(out.find("\"version\""), out.find("\"groups\""));
}

TEST(GroupsFile, RoundTripThroughTheDisk) {
    TempDir dir;
    const Grouping g = Dome();
    SysError error;
    ASSERT_TRUE(SaveGroupsFile(kGroupsFileName, g, &error)) << error.text;
    Grouping back;
    const GroupsLoad load = LoadGroupsFile(kGroupsFileName, &back);
    ASSERT_TRUE(load.ok) << load.reason;
    EXPECT_EQ(Describe(back), Describe(g));
}

TEST(GroupsFile, MissingIsToldApartFromDamaged) {
    TempDir dir;
    Grouping g = Dome();
    GroupsLoad load = LoadGroupsFile("nothing.json", &g);
    EXPECT_FALSE(load.ok);
    EXPECT_TRUE(load.missing);
    WriteBytes("bad.json", {'{', '"'});
    load = LoadGroupsFile("bad.json", &g);
    EXPECT_FALSE(load.ok);
    EXPECT_FALSE(load.missing);
    EXPECT_NE(load.reason.find("bad.json"), std::string::npos);
    EXPECT_EQ(Describe(g), "Dome: 3 6;Wall: 1;");
    EXPECT_EQ(ReadBytes("bad.json"), (std::vector<uint8_t>{'{', '"'}));
}

// ---- the target list ----

ProjectorTable Table() {
    // Connected in search order 6, 1, 3, 9; 9 in standby. Projector 4 is off.
    ProjectorTable t;
    const uint8_t addresses[] = {6, 1, 3, 9};
    for (size_t i = 0; i < 4; ++i) {
        t.records[i].address = addresses[i];
        t.records[i].projectorType = static_cast<int32_t>(i);
        t.records[i].alphaId = 'V';
    }
    t.records[3].standby = 1;
    t.connectedCount = 4;
    return t;
}

// The selection is kept as plain values: GCC 12 takes a std::string member of a parameter
// copied through testing::Values for uninitialised when it optimises.
struct TargetCase {
    const char* label;
    SelectionKind kind;
    const char* group;
    uint8_t current;
    std::vector<uint8_t> addresses;
};

class TargetLists : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetLists, HoldTheConnectedMembersInOrder) {
    const TargetCase& c = GetParam();
    Grouping g;
    g.groups.push_back(UserGroup{"Dome", {9, 4, 3, 6}, {}});
    g.groups.push_back(UserGroup{"Off", {4, 5}, {}});
    const std::vector<TargetEntry> list = BuildGroupTargetList(Table(), c.current, g, ProjectorSelection{c.kind, c.group});
    std::vector<uint8_t> got;
    for (const TargetEntry& e : list) got.push_back(e.address);
    EXPECT_EQ(got, c.addresses);
    for (const TargetEntry& e : list) {
        EXPECT_EQ(e.standby, e.address == 9 ? 1 : 0);
        EXPECT_EQ(e.alphaId, 'V');
    }
}

INSTANTIATE_TEST_SUITE_P(
    Groups, TargetLists,
    ::testing::Values(
        TargetCase{"default_is_the_current_projector", SelectionKind::Default, "", 3, {3}},
        TargetCase{"default_without_a_connected_current", SelectionKind::Default, "", 4, {}},
        TargetCase{"all_connected_in_table_order", SelectionKind::AllConnected, "", 3, {6, 1, 3, 9}},
        TargetCase{"group_in_member_order_without_the_missing", SelectionKind::Group, "Dome", 1, {9, 3, 6}},
        TargetCase{"group_of_projectors_all_off", SelectionKind::Group, "Off", 1, {}},
        TargetCase{"group_that_does_not_exist", SelectionKind::Group, "Gone", 1, {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TargetLists, EntriesCarryTheRecordsTypes) {
    Grouping g;
    g.groups.push_back(UserGroup{"Dome", {3, 6}, {}});
    const auto list = BuildGroupTargetList(Table(), 1, g, {SelectionKind::Group, "Dome"});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].projectorType, 2);
    EXPECT_EQ(list[1].projectorType, 0);
}

}  // namespace
}  // namespace ombrix

// The command line: the program's own name skipped, arguments split at blanks outside quotes,
// switches in any letter case and order, /TASKS and /LOG values, and every bad argument named.
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, ProgramNameIsSkippedQuotedOrNot) {
    EXPECT_EQ(ArgumentsOf("\"F:\\Meu Instalador\\InstaladorHalden.exe\" /SILENT"), " /SILENT");
    EXPECT_EQ(ArgumentsOf("F:\\Instalador\\InstaladorHalden.exe /LOG"), " /LOG");
    EXPECT_EQ(ArgumentsOf("InstaladorHalden.exe"), "");
    EXPECT_EQ(ArgumentsOf("\"C:\\a b\\x.exe\""), "");
    // A program name quoted only in part still ends at the first blank after the quotes.
    EXPECT_EQ(ArgumentsOf("\"C:\\a b\"\\x.exe /HELP"), " /HELP");
}

TEST(CommandLine, ArgumentsSplitAtBlanksOutsideQuotes) {
    struct Case { const char* line; Args args; };
    const Case cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"/SILENT /LOG", {"/SILENT", "/LOG"}},
        {"\t/SILENT\t\t/LOG  ", {"/SILENT", "/LOG"}},
        {"/LOG=\"C:\\Meus Logs\\k.log\" /SILENT", {"/LOG=C:\\Meus Logs\\k.log", "/SILENT"}},
        {"\"/LOG=C:\\Meus Logs\\k.log\"", {"/LOG=C:\\Meus Logs\\k.log"}},
        // A backslash is no escape: a folder may end in one right before the closing quote.
        {"/LOG=\"C:\\Logs\\\" /VERYSILENT", {"/LOG=C:\\Logs\\", "/VERYSILENT"}},
        {"/TASKS=\"\"", {"/TASKS="}},
        {"/TASKS=\"desktop, startmenu\"", {"/TASKS=desktop, startmenu"}},
        // An unclosed quote runs to the end.
        {"/LOG=\"C:\\a b", {"/LOG=C:\\a b"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitArguments(c.line), c.args) << c.line;
}

TEST(CommandLine, SwitchesInAnyCaseAndOrder) {
    CommandLine a = ParseCommandLine("/verysilent /NoReinstall /log=\"C:\\k.log\" /SuppressMsgBoxes");
    CommandLine b = ParseCommandLine("/SUPPRESSMSGBOXES /LOG=C:\\k.log /noreinstall /VERYSILENT");
    for (const CommandLine& c : {a, b}) {
        EXPECT_TRUE(c.Error.empty()) << c.Error;
        EXPECT_FALSE(c.Empty);
        EXPECT_TRUE(c.VerySilent);
        EXPECT_FALSE(c.Silent);
        EXPECT_TRUE(c.Unattended());
        EXPECT_TRUE(c.NoReinstall);
        EXPECT_TRUE(c.SuppressMsgBoxes);
        EXPECT_TRUE(c.LogWanted);
        EXPECT_EQ(c.LogPath, "C:\\k.log");
        EXPECT_FALSE(c.TasksGiven);
        EXPECT_TRUE(c.DeskTop && c.MenuIniciar && c.QuickLaunch);
    }
}

TEST(CommandLine, NoArgumentsIsTheOrdinaryStart) {
    CommandLine c = ParseCommandLine("   ");
    EXPECT_TRUE(c.Empty);
    EXPECT_FALSE(c.Unattended() || c.LogWanted || c.Help || c.NoReinstall || c.TasksGiven);
    EXPECT_TRUE(c.Error.empty());
    // /SUPPRESSMSGBOXES alone makes no unattended run.
    EXPECT_FALSE(ParseCommandLine("/SUPPRESSMSGBOXES").Unattended());
    EXPECT_TRUE(ParseCommandLine("/Silent").Unattended());
    EXPECT_FALSE(c.Uninstall);
}

// QuietUninstallString's switches, in any case; /UNINSTALL takes no value.
TEST(CommandLine, UninstallSwitch) {
    const CommandLine quiet = ParseCommandLine("/uninstall /VerySilent");
    EXPECT_TRUE(quiet.Uninstall && quiet.Unattended() && quiet.Error.empty()) << quiet.Error;
    EXPECT_FALSE(ParseCommandLine("/UNINSTALL").Unattended());
    EXPECT_FALSE(ParseCommandLine("/UNINSTALL=yes").Error.empty());
}

TEST(CommandLine, TasksChooseTheLinks) {
    struct Case { const char* line; bool desk, menu, quick; };
    const Case cases[] = {
        {"/TASKS=desktop", true, false, false},
        {"/TASKS=\"StartMenu,QUICKLAUNCH\"", false, true, true},
        {"/TASKS=\"quicklaunch , desktop,startmenu\"", true, true, true},
        {"/TASKS=desktop,,desktop,", true, false, false},
        {"/TASKS=", false, false, false},
        {"/TASKS=\"\"", false, false, false},
        {"/TASKS=desktop /TASKS=startmenu", false, true, false},   // the last one counts
    };
    for (const Case& c : cases) {
        CommandLine cl = ParseCommandLine(c.line);
        EXPECT_TRUE(cl.Error.empty()) << c.line << ": " << cl.Error;
        EXPECT_TRUE(cl.TasksGiven) << c.line;
        EXPECT_EQ(cl.DeskTop, c.desk) << c.line;
        EXPECT_EQ(cl.MenuIniciar, c.menu) << c.line;
        EXPECT_EQ(cl.QuickLaunch, c.quick) << c.line;
    }
}

TEST(CommandLine, LogWithAndWithoutAFile) {
    CommandLine plain = ParseCommandLine("/LOG");
    EXPECT_TRUE(plain.LogWanted);
    EXPECT_EQ(plain.LogPath, "");
    CommandLine named = ParseCommandLine("/Log=\"\\\\servidor\\logs\\esta\xE7\xE3o 1.log\"");
    EXPECT_TRUE(named.LogWanted);
    EXPECT_EQ(named.LogPath, "\\\\servidor\\logs\\esta\xE7\xE3o 1.log");
    EXPECT_EQ(ParseCommandLine("/LOG=a=b.log").LogPath, "a=b.log");
}

TEST(CommandLine, HelpInBothSpellings) {
    for (const char* line : {"/?", "/HELP", "/help", "/SILENT /?"}) {
        CommandLine c = ParseCommandLine(line);
        EXPECT_TRUE(c.Help) << line;
        EXPECT_TRUE(c.Error.empty()) << line;
    }
}

// The first bad argument is named; the others are still read, so that an unattended run knows
// it is one (and where its log goes) even with a bad switch.
TEST(CommandLine, BadArgumentsAreNamed) {
    struct Case { const char* line; const char* error; };
    const Case cases[] = {
        {"/QUIET", "Par\xE2metro desconhecido: /QUIET"},
        {"/S", "Par\xE2metro desconhecido: /S"},
        {"-SILENT", "Par\xE2metro desconhecido: -SILENT"},
        {"SILENT", "Par\xE2metro desconhecido: SILENT"},
        {"/SILENT=yes", "O par\xE2metro /SILENT n\xE3o aceita valor: /SILENT=yes"},
        {"/help=1", "O par\xE2metro /HELP n\xE3o aceita valor: /help=1"},
        {"/TASKS", "O par\xE2metro /TASKS precisa de uma lista, por exemplo "
                   "/TASKS=\"desktop,startmenu\": /TASKS"},
        {"/TASKS=\"desktop, menu\"", "Atalho desconhecido em /TASKS: \"menu\" (os aceitos s\xE3o "
                                     "desktop, startmenu e quicklaunch)"},
        {"/LOG=", "O par\xE2metro /LOG= precisa do nome de um arquivo: /LOG="},
        {"/LOG=\"\"", "O par\xE2metro /LOG= precisa do nome de um arquivo: /LOG="},
        {"/FOO /BAR", "Par\xE2metro desconhecido: /FOO"},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseCommandLine(c.line).Error, c.error) << c.line;

    CommandLine c = ParseCommandLine("/VERYSILENT /QUIET /LOG=\"C:\\k.log\"");
    EXPECT_EQ(c.Error, "Par\xE2metro desconhecido: /QUIET");
    EXPECT_TRUE(c.VerySilent);
    EXPECT_EQ(c.LogPath, "C:\\k.log");
    // A bad task list leaves the three links as they were.
    CommandLine t = ParseCommandLine("/TASKS=desktop,bogus");
    EXPECT_FALSE(t.TasksGiven);
    EXPECT_TRUE(t.DeskTop && t.MenuIniciar && t.QuickLaunch);
}

// Whoever names /SILENT or /VERYSILENT wants no box, also when the switch is malformed: the start
// is unattended (it ends with code 2, the problem in the log) and the first bad argument is named.
TEST(CommandLine, UnattendedInAnySpelling) {
    struct Case { const char* line; bool silent, verySilent; const char* error; };
    const Case cases[] = {
        {"/VERYSILENT=1", false, true, "O par\xE2metro /VERYSILENT n\xE3o aceita valor: /VERYSILENT=1"},
        {"/silent=yes", true, false, "O par\xE2metro /SILENT n\xE3o aceita valor: /silent=yes"},
        {"/SILENT /BOGUS", true, false, "Par\xE2metro desconhecido: /BOGUS"},
        {"-verysilent", false, true, "Par\xE2metro desconhecido: -verysilent"},
        {"VERYSILENT", false, true, "Par\xE2metro desconhecido: VERYSILENT"},
        {"/VERYSILENT:1 /LOG", false, true, "Par\xE2metro desconhecido: /VERYSILENT:1"},
        {"//Silent", true, false, "Par\xE2metro desconhecido: //Silent"},
    };
    for (const Case& c : cases) {
        const CommandLine cl = ParseCommandLine(c.line);
        EXPECT_TRUE(cl.Unattended()) << c.line;
        EXPECT_EQ(cl.Silent, c.silent) << c.line;
        EXPECT_EQ(cl.VerySilent, c.verySilent) << c.line;
        EXPECT_EQ(cl.Error, c.error) << c.line;
    }
    // Names that only look alike stay unknown switches of a start with a person.
    for (const char* line : {"/SILENTLY", "/VERY", "/S"}) {
        EXPECT_FALSE(ParseCommandLine(line).Unattended()) << line;
        EXPECT_FALSE(ParseCommandLine(line).Error.empty()) << line;
    }
}

// An empty argument (a script's empty variable in quotes) is no argument at all.
TEST(CommandLine, EmptyArgumentsAreIgnored) {
    const CommandLine verySilent = ParseCommandLine("/VERYSILENT \"\" /LOG");
    EXPECT_TRUE(verySilent.Error.empty()) << verySilent.Error;
    EXPECT_TRUE(verySilent.VerySilent && verySilent.LogWanted);
    for (const char* line : {"\"\"", "\"\" \"\"", "\"  \""}) {
        const CommandLine c = ParseCommandLine(line);
        EXPECT_TRUE(c.Empty) << line;
        EXPECT_TRUE(c.Error.empty()) << line << ": " << c.Error;
    }
}

TEST(CommandLine, HelpNamesEverySwitchAndExitCode) {
    const std::string help = HelpText();
    for (const char* word : {"/SILENT", "/VERYSILENT", "/SUPPRESSMSGBOXES", "/NOREINSTALL",
                             "/TASKS=", "desktop", "startmenu", "quicklaunch", "/LOG",
                             "%TEMP%", "InstaladorKestrel AAAA-MM-DD #NNN.log", "/?", "/HELP"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    for (const char* code : {"\r\n0\t", "\r\n1\t", "\r\n2\t", "\r\n3\t", "\r\n4\t", "\r\n5\t",
                             "\r\n3010\t"})
        EXPECT_NE(help.find(code), std::string::npos) << "exit code line " << code + 2;
}

}  // namespace

#include "app/CommandLine.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Switch names are ASCII: compared in upper case without the locale.
std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}


// /TASKS=list: any subset of the three names, commas between, blanks around a name ignored,
// empty items skipped. False (with the problem in error) for an unknown name.
bool ReadTasks(const std::string& list, CommandLine& out, std::string& error) {
    bool desk = false, menu = false, quick = false;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        const std::string item = Trim(list.substr(at, comma - at));
        const std::string name = UpperAscii(item);
        if (name == "DESKTOP") desk = true;
        else if (name == "STARTMENU") menu = true;
        else if (name == "QUICKLAUNCH") quick = true;
        else if (!item.empty()) {
            error = "Atalho desconhecido em /TASKS: \"" + item +
                    "\" (os aceitos s\xE3o desktop, startmenu e quicklaunch)";
            return false;
        }
        at = comma + 1;
    }
    out.TasksGiven = true;
    out.DeskTop = desk;
    out.MenuIniciar = menu;
    out.QuickLaunch = quick;
    return true;
}

// An argument that names /SILENT or /VERYSILENT in any spelling, well formed or not ("/SILENT",
// "-silent", "VERYSILENT", "/VERYSILENT=1", "/SILENT:yes"): the flag it stands for, else nullptr.
// Whoever writes such a switch wants no window waiting for a person, also when it is malformed.
bool* UnattendedFlagOf(const std::string& argument, CommandLine& out) {
    size_t begin = 0;
    while (begin < argument.size() && (argument[begin] == '/' || argument[begin] == '-')) ++begin;
    const size_t end = argument.find_first_of("=:", begin);
    const std::string name = UpperAscii(argument.substr(begin, end == std::string::npos
                                                                  ? std::string::npos
                                                                  : end - begin));
    return name == "SILENT" ? &out.Silent : name == "VERYSILENT" ? &out.VerySilent : nullptr;
}

}  // namespace

std::string ArgumentsOf(const std::string& commandLine) {
    size_t at = 0;
    while (at < commandLine.size() && IsBlank(commandLine[at])) ++at;
    if (at < commandLine.size() && commandLine[at] == '"') {
        size_t close = commandLine.find('"', at + 1);
        at = close == std::string::npos ? commandLine.size() : close + 1;
    }
    while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
    return commandLine.substr(at);
}

std::vector<std::string> SplitArguments(const std::string& arguments) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < arguments.size()) {
        while (at < arguments.size() && IsBlank(arguments[at])) ++at;
        if (at >= arguments.size()) break;
        std::string argument;
        bool quoted = false;
        for (; at < arguments.size() && (quoted || !IsBlank(arguments[at])); ++at) {
            if (arguments[at] == '"') quoted = !quoted;
            else argument += arguments[at];
        }
        out.push_back(argument);
    }
    return out;
}

CommandLine ParseCommandLine(const std::string& arguments) {
    CommandLine out;
    for (const std::string& argument : SplitArguments(arguments)) {
        // An empty argument ("" from a script whose variable was empty) is no argument.
        if (Trim(argument).empty()) continue;
        out.Empty = false;
        const size_t equals = argument.find('=');
        const std::string name = UpperAscii(argument.substr(0, equals));
        const bool hasValue = equals != std::string::npos;
        const std::string value = hasValue ? argument.substr(equals + 1) : std::string();
        std::string error;

        bool* flag = name == "/SILENT"                     ? &out.Silent
                     : name == "/VERYSILENT"               ? &out.VerySilent
                     : name == "/SUPPRESSMSGBOXES"         ? &out.SuppressMsgBoxes
                     : name == "/NOREINSTALL"              ? &out.NoReinstall
                     : name == "/UNINSTALL"                ? &out.Uninstall
                     : name == "/?" || name == "/HELP"     ? &out.Help
                                                           : nullptr;
        if (flag) {
            if (hasValue) error = "O par\xE2metro " + name + " n\xE3o aceita valor: " + argument;
            else *flag = true;
        } else if (name == "/TASKS") {
            if (hasValue) ReadTasks(value, out, error);
            else error = "O par\xE2metro /TASKS precisa de uma lista, por exemplo "
                         "/TASKS=\"desktop,startmenu\": " + argument;
        } else if (name == "/LOG") {
            if (hasValue && value.empty()) {
                error = "O par\xE2metro /LOG= precisa do nome de um arquivo: " + argument;
            } else {
                out.LogWanted = true;
                out.LogPath = value;
            }
        } else {
            error = "Par\xE2metro desconhecido: " + argument;
        }
        if (!error.empty()) {
            if (bool* unattended = UnattendedFlagOf(argument, out)) *unattended = true;
            if (out.Error.empty()) out.Error = error;
        }
    }
    return out;
}

std::string HelpText() {
    return "Uso: InstaladorHalden.exe [par\xE2metros]\r\n\r\n"
           "/SILENT\tinstala sem perguntas: a janela aparece, a instala\xE7\xE3o come\xE7" "a "
           "sozinha e a janela se fecha ao terminar\r\n"
           "/VERYSILENT\to mesmo, sem janela\r\n"
           "/SUPPRESSMSGBOXES\taceito; j\xE1 impl\xED" "cito em /SILENT e /VERYSILENT\r\n"
           "/NOREINSTALL\tse o Kestrel j\xE1 estiver instalado, n\xE3o reinstala (nada \xE9 "
           "gravado)\r\n"
           "/TASKS=\"lista\"\tos atalhos a criar, separados por v\xEDrgula: desktop, startmenu, "
           "quicklaunch; vazio para nenhum (sem o par\xE2metro: os tr\xEAs)\r\n"
           "/LOG\tgrava um log novo em %TEMP% (InstaladorKestrel AAAA-MM-DD #NNN.log)\r\n"
           "/LOG=\"arquivo\"\tgrava o log nesse arquivo\r\n"
           "/UNINSTALL\tremove a instala\xE7\xE3o (com /SILENT ou /VERYSILENT, sem perguntar)\r\n"
           "/? ou /HELP\tmostra esta ajuda\r\n\r\n"
           "C\xF3" "digos de sa\xED" "da com /SILENT ou /VERYSILENT (sem eles, sempre 0):\r\n"
           "0\tinstalado\r\n"
           "1\tstartKestrel.INI ausente ou LocalApp inv\xE1lido; nada foi gravado\r\n"
           "2\tlinha de comando ou arquivo de log inv\xE1lido; nada foi gravado\r\n"
           "3\tj\xE1 instalado e /NOREINSTALL; nada foi gravado\r\n"
           "4\ta instala\xE7\xE3o parou num erro (a mensagem est\xE1 no log)\r\n"
           "5\tinstalado com avisos (execut\xE1vel n\xE3o copiado, atalho n\xE3o gravado ou "
           "antigo n\xE3o exclu\xED" "do, regsvr32 que falhou; cada um no log)\r\n"
           "3010\tinstalado; arquivos em uso ser\xE3o substitu\xED" "dos quando o Windows for "
           "reiniciado\r\n"
           "Com /UNINSTALL: 0 removido; 3010 removido, falta reiniciar o computador; 4 parou num "
           "erro; 6 nada a remover (n\xE3o instalado)";
}

std::string CommandLineErrorText(const std::string& error) {
    return error + "\r\n\r\nUse /? para ver os par\xE2metros aceitos.";
}

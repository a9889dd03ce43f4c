// The program manager on Windows: a DDE conversation with the shell's
// program manager, ANSI, carrying the CP932 bytes of the command texts.
// Current shells often answer no such conversation; then the same command
// texts are carried out here, as shell links in the Start menu's Programs
// folder, one folder per group.
//
// Nothing here may hang the installer: the connection and every transaction
// are waited for a limited time. A server that stops answering, or that
// would read a command otherwise than meant, counts as none: the
// conversation so far is carried out again as shell links, which leaves the
// same group behind.
//
// A group command whose title could name another folder than the group's own
// (empty, a separator, a wildcard, a trailing dot or blank that the system
// drops) is never sent nor carried out: the shell deletes a group by
// deleting its folder with everything in it, and such a title would take
// the whole Start menu with it.
#include "platform/win32/dde_conversation.h"
#include "platform/win32/shell_link_groups.h"

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/program_manager_commands.h"

namespace tarn::platform {

namespace {

// ---- the command texts ----

// The arguments as a program manager reads them: a quote opens an argument
// only at its start and closes it at the next quote, which a comma or the
// end must follow. Nothing when it would refuse the text.
std::optional<StringList> ServerArguments(std::string_view inner)
{
    StringList args;
    size_t i = 0;
    for (;;) {
        if (i < inner.size() && inner[i] == '"') {
            size_t close = inner.find('"', i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            args.emplace_back(inner.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = inner.find_first_of(",\"", i);
            if (end != std::string_view::npos && inner[end] == '"')
                return std::nullopt;
            if (end == std::string_view::npos)
                end = inner.size();
            args.emplace_back(inner.substr(i, end - i));
            i = end;
        }
        if (i == inner.size())
            return args;
        if (inner[i] != ',')
            return std::nullopt;
        ++i;
    }
}

// True when the title could name another folder than the group's own below
// the programs folder: empty, not real CP932, a separator, drive, wildcard
// or control character, or a trailing dot or blank (which the system drops:
// "Game." is "Game", "  " the programs folder itself).
bool CouldNameAnotherFolder(const AnsiString& title)
{
    if (title.empty() || !RoundTripsCp932(title))
        return true;
    for (size_t i = 0; i < title.size(); i += CharLengthAt(title, i)) {
        if (CharLengthAt(title, i) == 2)
            continue;
        unsigned char c = static_cast<unsigned char>(title[i]);
        if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?", c))
            return true;
    }
    // A two-byte character never ends in 0x20 or 0x2E.
    return title.back() == '.' || title.back() == ' ';
}

// True when a folder or file can have the name as it stands, as the server
// would make it.
bool IsFileName(const AnsiString& name)
{
    if (CouldNameAnotherFolder(name))
        return false;
    for (size_t i = 0; i < name.size(); i += CharLengthAt(name, i))
        if (CharLengthAt(name, i) == 1 && std::strchr("\"<>|", name[i]))
            return false;
    return true;
}

enum class Kind { CreateGroup, ShowGroup, AddItem, DeleteGroup };

struct Parsed {
    Kind kind;
    AnsiString title;   // group commands
    StringList args;    // AddItem
    AnsiString inner;
};

std::optional<Parsed> Understand(std::string_view text)
{
    std::optional<ProgramManagerCommand> c = ParseProgramManagerCommand(text);
    if (!c)
        return std::nullopt;
    if (SameText(c->name, "CreateGroup"))
        return Parsed{ Kind::CreateGroup, c->inner, {}, c->inner };
    if (SameText(c->name, "ShowGroup"))
        return Parsed{ Kind::ShowGroup, WithoutShowCommand(c->inner), {}, c->inner };
    if (SameText(c->name, "DeleteGroup"))
        return Parsed{ Kind::DeleteGroup, c->inner, {}, c->inner };
    if (SameText(c->name, "AddItem"))
        return Parsed{ Kind::AddItem, {}, SplitProgramManagerArguments(c->inner), c->inner };
    return std::nullopt;
}

// One command and nothing else: a program manager takes "[a(...)][b(...)]"
// as two, so a text in which a bracket opens after one has closed could
// carry a second command past every check of the first.
bool SingleCommand(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        return false;
    size_t close = text.find(']');
    return close == std::string_view::npos || text.find('[', close) == std::string_view::npos;
}

// Whether a program manager reads the command as it is meant here: the same
// arguments, and names it can give a folder or a link as they stand.
bool ServerReadsAsMeant(const Parsed& p)
{
    std::optional<StringList> server = ServerArguments(p.inner);
    if (!server)
        return false;
    switch (p.kind) {
    case Kind::CreateGroup:
    case Kind::DeleteGroup:
        return server->size() == 1 && (*server)[0] == p.title && IsFileName(p.title);
    case Kind::ShowGroup:
        return !server->empty() && (*server)[0] == p.title && IsFileName(p.title);
    case Kind::AddItem:
        return *server == p.args && (p.args.size() < 2 || p.args[1].empty() || IsFileName(p.args[1]));
    }
    return false;
}

void Run(ShellLinkGroups& links, const Parsed& p)
{
    switch (p.kind) {
    case Kind::CreateGroup: links.CreateGroup(p.title); break;
    case Kind::ShowGroup: links.ShowGroup(p.title); break;
    case Kind::AddItem: links.AddItem(p.args); break;
    case Kind::DeleteGroup: links.DeleteGroup(p.title); break;
    }
}

} // namespace

struct ProgramManager::Impl {
    std::unique_ptr<DdeConversation> conversation;
    std::unique_ptr<ShellLinkGroups> links;
    // The commands of this conversation so far, to be carried out again as
    // links when the server stops answering.
    std::vector<Parsed> done;
    // A group command was refused: the items after it have no group of
    // their own and must not go into whichever group came before.
    bool groupRefused = false;

    void UseLinks()
    {
        conversation.reset();
        if (!links)
            links = ShellLinkGroups::Make();
        if (links)
            for (const Parsed& p : done)
                Run(*links, p);
    }
};

std::unique_ptr<ProgramManager> ProgramManager::Open(std::string_view service, std::string_view topic)
{
    auto impl = std::make_unique<Impl>();
    impl->conversation = DdeConversation::Connect(service, topic);
    if (!impl->conversation) {
        impl->links = ShellLinkGroups::Make();
        if (!impl->links)
            return nullptr;
    }
    std::unique_ptr<ProgramManager> manager(new ProgramManager());
    manager->impl_ = std::move(impl);
    return manager;
}

ProgramManager::~ProgramManager() = default;

// The shell draws its items' icons from their programs: a picture has no use here.
void ProgramManager::SetIconPicture(std::string) { }

void ProgramManager::Execute(std::string_view command)
{
    if (!SingleCommand(command))
        return;
    std::optional<Parsed> p = Understand(command);
    if (!p)
        return;
    Impl& m = *impl_;
    switch (p->kind) {
    case Kind::CreateGroup:
    case Kind::ShowGroup:
        m.groupRefused = CouldNameAnotherFolder(p->title);
        if (m.groupRefused)
            return;
        break;
    case Kind::DeleteGroup:
        if (CouldNameAnotherFolder(p->title))
            return;
        break;
    case Kind::AddItem:
        if (m.groupRefused)
            return;
        break;
    }
    m.done.push_back(*p);
    if (m.conversation) {
        if (m.conversation->Carries(command) && ServerReadsAsMeant(*p) && m.conversation->Send(command))
            return;
        m.UseLinks(); // carries this command out too
        return;
    }
    if (m.links)
        Run(*m.links, *p);
}

bool ProgramManager::GroupExists(std::string_view title)
{
    AnsiString t(title);
    return !CouldNameAnotherFolder(t) && ShellLinkGroups::GroupFolderExists(t);
}

StringList ProgramManager::GroupFiles(std::string_view title)
{
    AnsiString t(title);
    return CouldNameAnotherFolder(t) ? StringList() : ShellLinkGroups::GroupFolderFiles(t);
}

size_t ProgramManager::ItemCount(std::string_view title)
{
    size_t items = 0;
    for (const AnsiString& file : GroupFiles(title))
        items += SameText(ExtractFileExt(file), ".lnk") ? 1 : 0;
    return items;
}

bool GroupsFoundByTheirMark() { return false; }

} // namespace tarn::platform

#include "export/sheet_server.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include "common/save_target.h"

namespace thermo {

namespace {

constexpr std::uint32_t kMaxRows = 1048576; // an xlsx sheet
constexpr std::uint16_t kMaxCols = 16384;   // "XFD"
constexpr int kSheetsPerWorkbook = 3;

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

[[noreturn]] void unknownMember(std::string_view object, std::string_view member) {
    throw AutomationError(std::string(object) + " has no member \"" + std::string(member) + "\"");
}

void expectArgs(std::span<const AutoValue> args, std::size_t n, std::string_view member) {
    if (args.size() != n)
        throw AutomationError("\"" + std::string(member) + "\" takes " + std::to_string(n) +
                              " argument(s), got " + std::to_string(args.size()));
}

bool toBool(const AutoValue& v) {
    if (const auto* b = std::get_if<bool>(&v))
        return *b;
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return *i != 0;
    throw AutomationError("a boolean value was expected");
}

// A 1-based index passed as an integer or an integral double.
std::optional<long> toIndex(const AutoValue& v) {
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return *i;
    if (const auto* d = std::get_if<double>(&v); d && std::trunc(*d) == *d && std::abs(*d) < 1e9)
        return long(*d);
    return std::nullopt;
}

// What every collection answers: "Count", and "Item" with a 1-based number
// within it; an "Item" argument that names no item so goes to `otherwise`
// (which finds the item another way or throws). Nothing for other members.
template <class Item, class Otherwise>
std::optional<AutoValue>
countOrItem(std::string_view member, CallKind kind, std::span<const AutoValue> args,
            const std::vector<std::shared_ptr<Item>>& items, const Otherwise& otherwise) {
    if (kind == CallKind::PropertyPut)
        return std::nullopt;
    if (sameName(member, "Count")) {
        expectArgs(args, 0, member);
        return std::int32_t(items.size());
    }
    if (!sameName(member, "Item"))
        return std::nullopt;
    expectArgs(args, 1, member);
    if (auto n = toIndex(args[0]); n && *n >= 1 && *n <= long(items.size()))
        return std::shared_ptr<AutoObject>(items[std::size_t(*n - 1)]);
    return otherwise(args[0]);
}

// Shared by every object of one server: after "Quit" they all refuse.
struct ServerState {
    bool quit = false;
    void check() const {
        if (quit)
            throw AutomationError("the spreadsheet server has quit");
    }
};

struct Cell {
    AutoValue value;
};

struct WorkbookData;

class Worksheet : public AutoObject {
public:
    Worksheet(std::shared_ptr<ServerState> server, std::weak_ptr<WorkbookData> book, int index,
              std::string name)
        : server_(std::move(server)), book_(std::move(book)), index_(index),
          name_(std::move(name)) {}

    AutoValue invoke(std::string_view member, CallKind kind,
                     std::span<const AutoValue> args) override;

    const std::string& name() const { return name_; }
    // Row-major order, which is the order the file is written in.
    const std::map<std::uint64_t, Cell>& cells() const { return cells_; }

    static std::uint64_t key(CellAddress a) { return (std::uint64_t(a.row) << 16) | a.col; }

private:
    std::shared_ptr<ServerState> server_;
    std::weak_ptr<WorkbookData> book_;
    int index_;
    std::string name_;
    std::map<std::uint64_t, Cell> cells_;
};

struct WorkbookData {
    std::string name;
    std::vector<std::shared_ptr<Worksheet>> sheets;
    int activeSheet = 0; // 0-based
    bool closed = false;
};

class SheetsCollection : public AutoObject {
public:
    SheetsCollection(std::shared_ptr<ServerState> server, std::shared_ptr<WorkbookData> book)
        : server_(std::move(server)), book_(std::move(book)) {}

    AutoValue invoke(std::string_view member, CallKind kind,
                     std::span<const AutoValue> args) override {
        server_->check();
        if (book_->closed)
            throw AutomationError("the workbook is closed");
        const auto byName = [this](const AutoValue& arg) -> AutoValue {
            if (auto n = toIndex(arg))
                throw AutomationError("there is no sheet " + std::to_string(*n));
            if (const auto* s = std::get_if<std::string>(&arg)) {
                for (const auto& sh : book_->sheets)
                    if (sh->name() == *s)
                        return std::shared_ptr<AutoObject>(sh);
                throw AutomationError("there is no sheet \"" + *s + "\"");
            }
            throw AutomationError("a sheet is named by its number or its name");
        };
        if (auto v = countOrItem(member, kind, args, book_->sheets, byName))
            return *v;
        unknownMember("Sheets", member);
    }

private:
    std::shared_ptr<ServerState> server_;
    std::shared_ptr<WorkbookData> book_;
};

AutoValue Worksheet::invoke(std::string_view member, CallKind kind,
                            std::span<const AutoValue> args) {
    server_->check();
    auto book = book_.lock();
    if (!book || book->closed)
        throw AutomationError("the workbook of this sheet is closed");
    if (sameName(member, "Range")) {
        if (args.empty())
            throw AutomationError("\"Range\" needs an address");
        const auto* text = std::get_if<std::string>(&args[0]);
        auto addr = text ? parseCellAddress(*text) : std::nullopt;
        if (!addr)
            throw AutomationError("not a cell address: \"" + (text ? *text : std::string()) + "\"");
        if (kind == CallKind::PropertyPut) {
            expectArgs(args, 2, member);
            const AutoValue& v = args[1];
            if (std::holds_alternative<std::shared_ptr<AutoObject>>(v))
                throw AutomationError("an object cannot be stored in a cell");
            if (std::holds_alternative<std::monostate>(v))
                cells_.erase(key(*addr));
            else
                cells_[key(*addr)].value = v;
            return {};
        }
        expectArgs(args, 1, member);
        auto it = cells_.find(key(*addr));
        return it == cells_.end() ? AutoValue{} : it->second.value;
    }
    if ((sameName(member, "Select") || sameName(member, "Activate")) && kind == CallKind::Method) {
        expectArgs(args, 0, member);
        book->activeSheet = index_;
        return {};
    }
    if (sameName(member, "Name") && kind == CallKind::PropertyGet) {
        expectArgs(args, 0, member);
        return name_;
    }
    unknownMember("Worksheet", member);
}

std::string lxwMessage(lxw_error err) {
    return lxw_strerror(err);
}

// Writes the workbook to a temporary file beside the target and renames it
// over the target only when complete, so a failed save never leaves a
// half-written file under the chosen name (nor destroys the file it was
// meant to replace).
void writeXlsx(const WorkbookData& book, const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty())
        throw AutomationError("no file name given");
    std::string problem;
    const fs::path target(saveTarget(path, &problem));
    if (target.empty())
        throw AutomationError("Cannot create file \"" + path + "\". " + problem);
    fs::path dir = target.parent_path();
    std::string tmpl =
        (dir.empty() ? fs::path(".") : dir) / ("." + target.filename().string() + ".XXXXXX");
    std::vector<char> tmpName(tmpl.begin(), tmpl.end());
    tmpName.push_back('\0');
    int fd = ::mkstemp(tmpName.data());
    if (fd < 0)
        throw AutomationError("Cannot create file \"" + path + "\". " + std::strerror(errno));
    ::close(fd);
    std::string tmp(tmpName.data());

    lxw_workbook* wb = workbook_new(tmp.c_str());
    if (wb == nullptr) {
        std::remove(tmp.c_str());
        throw AutomationError("Cannot create file \"" + path + "\".");
    }
    // A time of day alone is shown as a time; anything with a date part with
    // the date too. The hour has no leading zero, as in the Russian locale.
    lxw_format* timeFmt = workbook_add_format(wb);
    format_set_num_format(timeFmt, "h:mm:ss");
    lxw_format* dateFmt = workbook_add_format(wb);
    format_set_num_format(dateFmt, "dd.mm.yyyy h:mm:ss");

    for (std::size_t s = 0; s < book.sheets.size(); ++s) {
        const Worksheet& sheet = *book.sheets[s];
        lxw_worksheet* ws = workbook_add_worksheet(wb, sheet.name().c_str());
        if (ws == nullptr)
            continue;
        if (int(s) == book.activeSheet)
            worksheet_activate(ws);
        for (const auto& [k, cell] : sheet.cells()) {
            lxw_row_t row = lxw_row_t((k >> 16) - 1);
            lxw_col_t col = lxw_col_t((k & 0xFFFF) - 1);
            const AutoValue& v = cell.value;
            // A number the file format cannot hold (NaN or an infinity from a
            // damaged archive) would make the whole workbook unreadable: its
            // cell stays empty instead.
            if (const auto* d = std::get_if<double>(&v); d && !std::isfinite(*d))
                continue;
            if (const auto* t = std::get_if<AutoDate>(&v); t && !std::isfinite(t->days))
                continue;
            if (const auto* d = std::get_if<double>(&v))
                worksheet_write_number(ws, row, col, *d, nullptr);
            else if (const auto* i = std::get_if<std::int32_t>(&v))
                worksheet_write_number(ws, row, col, *i, nullptr);
            else if (const auto* b = std::get_if<bool>(&v))
                worksheet_write_boolean(ws, row, col, *b, nullptr);
            else if (const auto* t = std::get_if<AutoDate>(&v))
                worksheet_write_number(ws, row, col, t->days,
                                       (t->days >= 0 && t->days < 1) ? timeFmt : dateFmt);
            else if (const auto* str = std::get_if<std::string>(&v))
                worksheet_write_string(ws, row, col, str->c_str(), nullptr);
        }
    }
    lxw_error err = workbook_close(wb);
    if (err != LXW_NO_ERROR) {
        std::remove(tmp.c_str());
        throw AutomationError("Cannot create file \"" + path + "\". " + lxwMessage(err));
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) {
        std::remove(tmp.c_str());
        throw AutomationError("Cannot create file \"" + path + "\". " + ec.message());
    }
    // mkstemp creates the file readable by its owner only; give the saved
    // workbook the permissions an ordinary new file gets.
    mode_t mask = ::umask(0);
    ::umask(mask);
    fs::permissions(target, fs::perms(0666 & ~mask), ec);
}

class Workbook : public AutoObject {
public:
    Workbook(std::shared_ptr<ServerState> server, std::shared_ptr<WorkbookData> book)
        : server_(std::move(server)), book_(std::move(book)),
          sheets_(std::make_shared<SheetsCollection>(server_, book_)) {}

    AutoValue invoke(std::string_view member, CallKind kind,
                     std::span<const AutoValue> args) override {
        server_->check();
        if (book_->closed)
            throw AutomationError("the workbook is closed");
        if (sameName(member, "Sheets") && kind != CallKind::PropertyPut) {
            expectArgs(args, 0, member);
            return std::shared_ptr<AutoObject>(sheets_);
        }
        if (sameName(member, "ActiveSheet") && kind != CallKind::PropertyPut) {
            expectArgs(args, 0, member);
            return std::shared_ptr<AutoObject>(book_->sheets[std::size_t(book_->activeSheet)]);
        }
        if (sameName(member, "Name") && kind == CallKind::PropertyGet) {
            expectArgs(args, 0, member);
            return book_->name;
        }
        if (sameName(member, "SaveAs") && kind == CallKind::Method) {
            if (args.empty())
                throw AutomationError("\"SaveAs\" needs a file name");
            const auto* file = std::get_if<std::string>(&args[0]);
            if (file == nullptr)
                throw AutomationError("the file name must be a string");
            writeXlsx(*book_, *file);
            book_->name = std::filesystem::path(*file).filename().string();
            return {};
        }
        if (sameName(member, "Close") && kind == CallKind::Method) {
            // Unsaved changes are discarded: the server never asks.
            book_->closed = true;
            return {};
        }
        unknownMember("Workbook", member);
    }

    bool closed() const { return book_->closed; }

private:
    std::shared_ptr<ServerState> server_;
    std::shared_ptr<WorkbookData> book_;
    std::shared_ptr<SheetsCollection> sheets_;
};

struct ApplicationData {
    std::vector<std::shared_ptr<Workbook>> books; // open ones, the last is active
    int created = 0;
    void dropClosed() {
        std::erase_if(books, [](const auto& b) { return b->closed(); });
    }
};

class WorkbooksCollection : public AutoObject {
public:
    WorkbooksCollection(std::shared_ptr<ServerState> server, std::shared_ptr<ApplicationData> app)
        : server_(std::move(server)), app_(std::move(app)) {}

    AutoValue invoke(std::string_view member, CallKind kind,
                     std::span<const AutoValue> args) override {
        server_->check();
        app_->dropClosed();
        if (sameName(member, "Add") && kind == CallKind::Method) {
            auto data = std::make_shared<WorkbookData>();
            data->name = "Книга" + std::to_string(++app_->created);
            for (int i = 0; i < kSheetsPerWorkbook; ++i)
                data->sheets.push_back(
                    std::make_shared<Worksheet>(server_, data, i, "Лист" + std::to_string(i + 1)));
            auto book = std::make_shared<Workbook>(server_, data);
            app_->books.push_back(book);
            return std::shared_ptr<AutoObject>(book);
        }
        const auto noSuchBook = [](const AutoValue&) -> AutoValue {
            throw AutomationError("there is no such workbook");
        };
        if (auto v = countOrItem(member, kind, args, app_->books, noSuchBook))
            return *v;
        unknownMember("Workbooks", member);
    }

private:
    std::shared_ptr<ServerState> server_;
    std::shared_ptr<ApplicationData> app_;
};

class Application : public AutoObject {
public:
    Application()
        : server_(std::make_shared<ServerState>()), app_(std::make_shared<ApplicationData>()),
          workbooks_(std::make_shared<WorkbooksCollection>(server_, app_)) {}

    AutoValue invoke(std::string_view member, CallKind kind,
                     std::span<const AutoValue> args) override {
        server_->check();
        if (sameName(member, "Workbooks") && kind != CallKind::PropertyPut) {
            expectArgs(args, 0, member);
            return std::shared_ptr<AutoObject>(workbooks_);
        }
        if (sameName(member, "ActiveWorkbook") && kind != CallKind::PropertyPut) {
            expectArgs(args, 0, member);
            app_->dropClosed();
            if (app_->books.empty())
                throw AutomationError("there is no active workbook");
            return std::shared_ptr<AutoObject>(app_->books.back());
        }
        if (sameName(member, "Visible"))
            return flag(visible_, member, kind, args);
        if (sameName(member, "DisplayAlerts"))
            return flag(displayAlerts_, member, kind, args);
        if (sameName(member, "Quit") && kind == CallKind::Method) {
            expectArgs(args, 0, member);
            // Open workbooks are discarded unsaved, as on closing them.
            app_->books.clear();
            server_->quit = true;
            return {};
        }
        unknownMember("Application", member);
    }

private:
    static AutoValue flag(bool& value, std::string_view member, CallKind kind,
                          std::span<const AutoValue> args) {
        if (kind == CallKind::PropertyPut) {
            expectArgs(args, 1, member);
            value = toBool(args[0]);
            return {};
        }
        expectArgs(args, 0, member);
        return value;
    }

    std::shared_ptr<ServerState> server_;
    std::shared_ptr<ApplicationData> app_;
    std::shared_ptr<WorkbooksCollection> workbooks_;
    bool visible_ = false;
    bool displayAlerts_ = true;
};

} // namespace

std::optional<CellAddress> parseCellAddress(std::string_view address) {
    std::size_t i = 0;
    std::uint32_t col = 0;
    while (i < address.size() && i < 4) {
        char c = address[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            break;
        col = col * 26 + std::uint32_t(c - 'A' + 1);
        ++i;
    }
    if (i == 0 || col > kMaxCols || i == address.size() || address[i] == '0')
        return std::nullopt;
    std::uint64_t row = 0;
    for (; i < address.size(); ++i) {
        char c = address[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        row = row * 10 + std::uint64_t(c - '0');
        if (row > kMaxRows)
            return std::nullopt;
    }
    return CellAddress{std::uint32_t(row), std::uint16_t(col)};
}

void registerSpreadsheetServer(AutomationRegistry& registry) {
    registry.registerServer(std::string(kSpreadsheetProgId),
                            [] { return std::make_shared<Application>(); });
}

} // namespace thermo

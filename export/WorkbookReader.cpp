#include "export/WorkbookReader.h"

#include "common/Failure.h"

#include <orcus/csv_parser.hpp>
#include <orcus/exception.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>

#include <QDateTime>

#include <libxml/xmlreader.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>

namespace ss = orcus::spreadsheet;

namespace {

constexpr int32_t kErrPathFileAccess = 75;

const WorkbookCell kEmptyCell;

// Built-in number formats of a .xlsx workbook that show dates or times.
bool IsBuiltInDateFormat(size_t id) {
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
}

// A number format code shows a date when it has date or time letters outside quoted text,
// escapes and brackets (colours, conditions and elapsed time are in brackets).
bool IsDateFormatCode(std::string_view code) {
    bool quoted = false;
    int bracket = 0;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\\' || c == '_' || c == '*')
            ++i;
        else if (c == '[')
            ++bracket;
        else if (c == ']')
            bracket = bracket > 0 ? bracket - 1 : 0;
        else if (bracket == 0 && std::string_view("yYdDhHsS").find(c) != std::string_view::npos)
            return true;
    }
    return false;
}

std::string DateText(int year, int month, int day, int hour, int minute, double second) {
    const QDate date(year, month, day);
    std::string text = date.toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    const int seconds = static_cast<int>(std::lround(second));
    if (hour != 0 || minute != 0 || seconds != 0)
        text += QTime(hour, minute, std::min(seconds, 59))
                    .toString(QStringLiteral(" HH:mm:ss"))
                    .toStdString();
    return text;
}

void PutCell(WorkbookSheet& sheet, long row, long col, WorkbookCell cell) {
    if (row < 0 || col < 0)
        return;
    auto& rows = sheet.rows;
    if (rows.size() <= static_cast<size_t>(row))
        rows.resize(static_cast<size_t>(row) + 1);
    auto& cells = rows[static_cast<size_t>(row)];
    if (cells.size() <= static_cast<size_t>(col))
        cells.resize(static_cast<size_t>(col) + 1);
    cells[static_cast<size_t>(col)] = std::move(cell);
}

// What one sheet delivers; formats stay per cell until the workbook knows its styles.
class Sheet final : public ss::iface::import_sheet,
                    private ss::iface::import_sheet_properties,
                    private ss::iface::import_formula {
public:
    Sheet(std::string name, const std::vector<std::string>& strings) : strings_(strings) {
        sheet_.name = std::move(name);
    }

    WorkbookSheet& Result() { return sheet_; }
    // A cell that the filter does not deliver.
    void Set(long row, long col, WorkbookCell cell) { PutCell(sheet_, row, col, std::move(cell)); }
    bool IsEmpty(long row, long col) const {
        return row < 0 || col < 0 ||
               At(static_cast<ss::row_t>(row), static_cast<ss::col_t>(col)).kind ==
                   WorkbookCell::Kind::Empty;
    }
    std::string SharedString(size_t index) const {
        return index < strings_.size() ? strings_[index] : std::string();
    }
    const std::map<std::pair<int, int>, size_t>& Formats() const { return formats_; }

    // Missing parts are optional to the filters, but the sheet's properties and formula
    // results are what a .ods and a formula cell need.
    ss::iface::import_sheet_properties* get_sheet_properties() override { return this; }
    ss::iface::import_formula* get_formula() override { return this; }

    void set_auto(ss::row_t row, ss::col_t col, std::string_view s) override {
        Put(row, col, WorkbookCell::Kind::Text, std::string(s));
    }
    void set_string(ss::row_t row, ss::col_t col, ss::string_id_t sindex) override {
        Put(row, col, WorkbookCell::Kind::Text,
            sindex < strings_.size() ? strings_[sindex] : std::string());
    }
    void set_value(ss::row_t row, ss::col_t col, double value) override {
        Put(row, col, WorkbookCell::Kind::Number, NumberText(value));
    }
    void set_bool(ss::row_t row, ss::col_t col, bool value) override {
        Put(row, col, WorkbookCell::Kind::Bool, value ? "TRUE" : "FALSE");
    }
    void set_date_time(ss::row_t row, ss::col_t col, int year, int month, int day, int hour,
                       int minute, double second) override {
        Put(row, col, WorkbookCell::Kind::Date, DateText(year, month, day, hour, minute, second));
    }
    void set_format(ss::row_t row, ss::col_t col, size_t xf_index) override {
        formats_[{row, col}] = xf_index;
    }
    void set_format(ss::row_t, ss::col_t, ss::row_t, ss::col_t, size_t) override {}
    void fill_down_cells(ss::row_t src_row, ss::col_t src_col, ss::row_t range_size) override {
        const WorkbookCell cell = At(src_row, src_col);
        for (ss::row_t r = 1; r <= range_size; ++r)
            Put(src_row + r, src_col, cell.kind, cell.text);
    }
    ss::range_size_t get_sheet_size() const override { return {1048576, 16384}; }

private:
    WorkbookCell At(ss::row_t row, ss::col_t col) const {
        return sheet_.At(static_cast<size_t>(row), static_cast<size_t>(col));
    }
    void Put(ss::row_t row, ss::col_t col, WorkbookCell::Kind kind, std::string text) {
        PutCell(sheet_, row, col, {kind, std::move(text)});
    }

    // Sheet properties: nothing of them matters here.
    void set_column_width(ss::col_t, double, orcus::length_unit_t) override {}
    void set_column_hidden(ss::col_t, bool) override {}
    void set_row_height(ss::row_t, double, orcus::length_unit_t) override {}
    void set_row_hidden(ss::row_t, bool) override {}
    void set_merge_cell_range(const ss::range_t&) override {}

    // A formula cell counts with its cached result.
    void set_position(ss::row_t row, ss::col_t col) override { formulaAt_ = {row, col}; }
    void set_formula(ss::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(size_t) override {}
    void set_result_string(std::string_view value) override {
        Put(formulaAt_.first, formulaAt_.second, WorkbookCell::Kind::Text, std::string(value));
    }
    void set_result_value(double value) override {
        Put(formulaAt_.first, formulaAt_.second, WorkbookCell::Kind::Number, NumberText(value));
    }
    void set_result_bool(bool value) override {
        Put(formulaAt_.first, formulaAt_.second, WorkbookCell::Kind::Bool,
            value ? "TRUE" : "FALSE");
    }
    void set_result_empty() override {}
    void commit() override {}

    const std::vector<std::string>& strings_;
    WorkbookSheet sheet_;
    std::map<std::pair<int, int>, size_t> formats_;
    std::pair<int, int> formulaAt_{-1, -1};
};

// Cell addresses in the A1 style, which the .xlsx filter asks to have resolved.
class Resolver final : public ss::iface::import_reference_resolver {
public:
    ss::src_address_t resolve_address(std::string_view address) override {
        if (const size_t bang = address.rfind('!'); bang != std::string_view::npos)
            address.remove_prefix(bang + 1);
        ss::src_address_t result{0, 0, 0};
        size_t i = 0;
        int column = 0;
        for (; i < address.size(); ++i) {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(address[i])));
            if (c == '$')
                continue;
            if (c < 'A' || c > 'Z')
                break;
            column = column * 26 + (c - 'A' + 1);
        }
        int row = 0;
        for (; i < address.size(); ++i) {
            const char c = address[i];
            if (c == '$')
                continue;
            if (c < '0' || c > '9')
                throw orcus::general_error("not a cell address");
            row = row * 10 + (c - '0');
        }
        result.column = column - 1;
        result.row = row - 1;
        return result;
    }
    ss::src_range_t resolve_range(std::string_view range) override {
        const size_t colon = range.find(':');
        const ss::src_address_t first = resolve_address(range.substr(0, colon));
        return {first,
                colon == std::string_view::npos ? first : resolve_address(range.substr(colon + 1))};
    }
};

// Takes the strings, which hold every text cell of a .xlsx (shared and inline strings alike),
// and of the styles only which cell formats show dates.
class Factory final : public ss::iface::import_factory,
                      private ss::iface::import_shared_strings,
                      private ss::iface::import_styles,
                      private ss::iface::import_global_settings {
public:
    std::vector<WorkbookSheet> Result() {
        std::vector<WorkbookSheet> sheets;
        for (auto& sheet : sheets_) {
            // A number in a date format is a date counted in days from the origin.
            for (const auto& [at, xf] : sheet->Formats()) {
                auto& rows = sheet->Result().rows;
                if (xf >= xfDates_.size() || !xfDates_[xf] ||
                    static_cast<size_t>(at.first) >= rows.size() ||
                    static_cast<size_t>(at.second) >= rows[static_cast<size_t>(at.first)].size())
                    continue;
                WorkbookCell& cell =
                    rows[static_cast<size_t>(at.first)][static_cast<size_t>(at.second)];
                double serial = 0;
                if (cell.kind != WorkbookCell::Kind::Number ||
                    std::from_chars(cell.text.data(), cell.text.data() + cell.text.size(), serial)
                            .ec != std::errc())
                    continue;
                const double days = std::floor(serial);
                const QDate date = origin_.addDays(static_cast<qint64>(days));
                const int seconds = static_cast<int>(std::lround((serial - days) * 86400));
                cell.kind = WorkbookCell::Kind::Date;
                cell.text = DateText(date.year(), date.month(), date.day(), seconds / 3600,
                                     seconds / 60 % 60, seconds % 60);
            }
            sheets.push_back(std::move(sheet->Result()));
        }
        return sheets;
    }

    ss::iface::import_global_settings* get_global_settings() override { return this; }
    ss::iface::import_shared_strings* get_shared_strings() override { return this; }
    ss::iface::import_styles* get_styles() override { return this; }
    ss::iface::import_reference_resolver*
    get_reference_resolver(ss::formula_ref_context_t) override {
        return &resolver_;
    }
    ss::iface::import_sheet* append_sheet(ss::sheet_t, std::string_view name) override {
        sheets_.push_back(std::make_unique<Sheet>(std::string(name), strings_));
        return sheets_.back().get();
    }
    Sheet* Find(std::string_view name) {
        for (auto& sheet : sheets_)
            if (sheet->Result().name == name)
                return sheet.get();
        return nullptr;
    }
    ss::iface::import_sheet* get_sheet(std::string_view name) override {
        for (auto& sheet : sheets_)
            if (sheet->Result().name == name)
                return sheet.get();
        return nullptr;
    }
    ss::iface::import_sheet* get_sheet(ss::sheet_t index) override {
        return index >= 0 && static_cast<size_t>(index) < sheets_.size()
                   ? sheets_[static_cast<size_t>(index)].get()
                   : nullptr;
    }
    void finalize() override {}

private:
    // Shared strings.
    size_t append(std::string_view s) override {
        strings_.emplace_back(s);
        return strings_.size() - 1;
    }
    size_t add(std::string_view s) override { return append(s); }
    void set_segment_font(size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                                ss::color_elem_t) override {}
    void append_segment(std::string_view s) override { segments_ += s; }
    size_t commit_segments() override { return append(std::exchange(segments_, {})); }

    // Styles: only number formats and cell formats are kept.
    void set_font_count(size_t) override {}
    void set_font_bold(bool) override {}
    void set_font_italic(bool) override {}
    void set_font_name(std::string_view) override {}
    void set_font_size(double) override {}
    void set_font_underline(ss::underline_t) override {}
    void set_font_underline_width(ss::underline_width_t) override {}
    void set_font_underline_mode(ss::underline_mode_t) override {}
    void set_font_underline_type(ss::underline_type_t) override {}
    void set_font_underline_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                                  ss::color_elem_t) override {}
    void set_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                        ss::color_elem_t) override {}
    void set_strikethrough_style(ss::strikethrough_style_t) override {}
    void set_strikethrough_type(ss::strikethrough_type_t) override {}
    void set_strikethrough_width(ss::strikethrough_width_t) override {}
    void set_strikethrough_text(ss::strikethrough_text_t) override {}
    size_t commit_font() override { return fonts_++; }
    void set_fill_count(size_t) override {}
    void set_fill_pattern_type(ss::fill_pattern_t) override {}
    void set_fill_fg_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                           ss::color_elem_t) override {}
    void set_fill_bg_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                           ss::color_elem_t) override {}
    size_t commit_fill() override { return fills_++; }
    void set_border_count(size_t) override {}
    void set_border_style(ss::border_direction_t, ss::border_style_t) override {}
    void set_border_color(ss::border_direction_t, ss::color_elem_t, ss::color_elem_t,
                          ss::color_elem_t, ss::color_elem_t) override {}
    void set_border_width(ss::border_direction_t, double, orcus::length_unit_t) override {}
    size_t commit_border() override { return borders_++; }
    void set_cell_hidden(bool) override {}
    void set_cell_locked(bool) override {}
    void set_cell_print_content(bool) override {}
    void set_cell_formula_hidden(bool) override {}
    size_t commit_cell_protection() override { return protections_++; }
    void set_number_format_count(size_t) override {}
    void set_number_format_identifier(size_t id) override { formatId_ = id; }
    void set_number_format_code(std::string_view s) override { formatCode_ = s; }
    size_t commit_number_format() override {
        formatDates_[formatId_] = IsDateFormatCode(formatCode_);
        formatCode_.clear();
        return formatId_;
    }
    void set_cell_xf_count(size_t) override {}
    void set_cell_style_xf_count(size_t) override {}
    void set_dxf_count(size_t) override {}
    void set_xf_font(size_t) override {}
    void set_xf_fill(size_t) override {}
    void set_xf_border(size_t) override {}
    void set_xf_protection(size_t) override {}
    void set_xf_number_format(size_t index) override { xfFormat_ = index; }
    void set_xf_style_xf(size_t) override {}
    void set_xf_apply_alignment(bool) override {}
    void set_xf_horizontal_alignment(ss::hor_alignment_t) override {}
    void set_xf_vertical_alignment(ss::ver_alignment_t) override {}
    size_t commit_cell_xf() override {
        const auto custom = formatDates_.find(xfFormat_);
        xfDates_.push_back(custom != formatDates_.end() ? custom->second
                                                        : IsBuiltInDateFormat(xfFormat_));
        xfFormat_ = 0;
        return xfDates_.size() - 1;
    }
    size_t commit_cell_style_xf() override {
        xfFormat_ = 0;
        return styleXfs_++;
    }
    size_t commit_dxf() override {
        xfFormat_ = 0;
        return dxfs_++;
    }
    void set_cell_style_count(size_t) override {}
    void set_cell_style_name(std::string_view) override {}
    void set_cell_style_xf(size_t) override {}
    void set_cell_style_builtin(size_t) override {}
    void set_cell_style_parent_name(std::string_view) override {}
    size_t commit_cell_style() override { return cellStyles_++; }

    // Global settings.
    void set_origin_date(int year, int month, int day) override {
        origin_ = QDate(year, month, day);
    }
    void set_default_formula_grammar(ss::formula_grammar_t grammar) override { grammar_ = grammar; }
    ss::formula_grammar_t get_default_formula_grammar() const override { return grammar_; }
    void set_character_set(orcus::character_set_t) override {}

    std::vector<std::string> strings_;
    Resolver resolver_;
    std::string segments_;
    std::vector<std::unique_ptr<Sheet>> sheets_;
    std::map<size_t, bool> formatDates_; // by number format id
    std::vector<bool> xfDates_;          // by cell format
    size_t formatId_ = 0, xfFormat_ = 0;
    std::string formatCode_;
    size_t fonts_ = 0, fills_ = 0, borders_ = 0, protections_ = 0, styleXfs_ = 0, dxfs_ = 0,
           cellStyles_ = 0;
    QDate origin_{1899, 12, 30};
    ss::formula_grammar_t grammar_ = ss::formula_grammar_t::unknown;
};

// An archive's parts, through libzip.
class Archive {
public:
    explicit Archive(const std::string& path) {
        int error = 0;
        zip_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
        if (!zip_) {
            zip_error_t reason;
            zip_error_init_with_code(&reason, error);
            const std::string text = zip_error_strerror(&reason);
            zip_error_fini(&reason);
            throw Failure(kErrPathFileAccess, "Cannot read '" + path + "': " + text);
        }
    }
    ~Archive() { zip_discard(zip_); }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // The part's bytes; nothing when the archive has no such part.
    std::optional<std::string> Part(const std::string& name) const {
        zip_stat_t stat;
        if (zip_stat(zip_, name.c_str(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
            return std::nullopt;
        zip_file_t* file = zip_fopen(zip_, name.c_str(), 0);
        if (!file)
            return std::nullopt;
        std::string bytes(stat.size, '\0');
        const zip_int64_t read = zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size)
            throw Failure(kErrPathFileAccess, "Cannot read the part " + name + " of a workbook");
        return bytes;
    }

private:
    zip_t* zip_ = nullptr;
};

// Walks a part's elements with libxml2's reader, without a document tree.
class PartReader {
public:
    explicit PartReader(const std::string& bytes)
        : reader_(xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_HUGE)) {
        if (!reader_)
            throw Failure(kErrInvalidCall, "Cannot read a part of the workbook");
    }
    ~PartReader() { xmlFreeTextReader(reader_); }
    PartReader(const PartReader&) = delete;
    PartReader& operator=(const PartReader&) = delete;

    bool Next() {
        const int result = xmlTextReaderRead(reader_);
        if (result < 0)
            throw Failure(kErrInvalidCall, "A part of the workbook is not well-formed XML");
        return result == 1;
    }
    int Type() const { return xmlTextReaderNodeType(reader_); }
    bool IsStart(const char* local) const { return Type() == XML_READER_TYPE_ELEMENT && Is(local); }
    bool IsEnd(const char* local) const {
        return Type() == XML_READER_TYPE_END_ELEMENT && Is(local);
    }
    bool IsEmpty() const { return xmlTextReaderIsEmptyElement(reader_) == 1; }
    bool IsText() const {
        return Type() == XML_READER_TYPE_TEXT || Type() == XML_READER_TYPE_CDATA ||
               Type() == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
    }
    std::string Value() const { return Take(xmlTextReaderValue(reader_)); }
    // An attribute by its local name, in any namespace.
    std::string Attribute(const char* local) const {
        std::string value;
        if (xmlTextReaderMoveToFirstAttribute(reader_) == 1) {
            do {
                if (xmlStrEqual(xmlTextReaderConstLocalName(reader_), BAD_CAST local)) {
                    value = Take(xmlTextReaderValue(reader_));
                    break;
                }
            } while (xmlTextReaderMoveToNextAttribute(reader_) == 1);
            xmlTextReaderMoveToElement(reader_);
        }
        return value;
    }

private:
    bool Is(const char* local) const {
        return xmlStrEqual(xmlTextReaderConstLocalName(reader_), BAD_CAST local);
    }
    static std::string Take(xmlChar* text) {
        std::string value = text ? reinterpret_cast<const char*>(text) : "";
        xmlFree(text);
        return value;
    }

    xmlTextReaderPtr reader_;
};

long NumberAttribute(const std::string& text, long fallback) {
    long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && value > 0 ? value : fallback;
}

// "B12" as a 0-based row and column.
std::pair<long, long> CellAddress(std::string_view ref) {
    long column = 0, row = 0;
    size_t i = 0;
    for (; i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])); ++i)
        column = column * 26 + (std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
    for (; i < ref.size() && std::isdigit(static_cast<unsigned char>(ref[i])); ++i)
        row = row * 10 + (ref[i] - '0');
    return {row - 1, column - 1};
}

// liborcus 0.17 passes over inline strings (t="inlineStr", as scripts and streaming writers
// save text), and over numbers in a cell formatted as text ("@", as a sheet saved again
// keeps an exported text column): every cell it left empty is read from the sheet's part.
void AddInlineStrings(const std::string& path, Factory& factory) {
    const Archive archive(path);
    const std::optional<std::string> workbook = archive.Part("xl/workbook.xml");
    const std::optional<std::string> relations = archive.Part("xl/_rels/workbook.xml.rels");
    if (!workbook || !relations)
        return;
    std::map<std::string, std::string> targets; // by relation id
    for (PartReader rels(*relations); rels.Next();)
        if (rels.IsStart("Relationship")) {
            std::string target = rels.Attribute("Target");
            target = target.starts_with('/') ? target.substr(1) : "xl/" + target;
            targets[rels.Attribute("Id")] = target;
        }
    for (PartReader sheets(*workbook); sheets.Next();) {
        if (!sheets.IsStart("sheet"))
            continue;
        Sheet* sheet = factory.Find(sheets.Attribute("name"));
        const auto target = targets.find(sheets.Attribute("id"));
        const std::optional<std::string> part =
            target != targets.end() ? archive.Part(target->second) : std::nullopt;
        if (!sheet || !part)
            continue;
        std::pair<long, long> at{-1, -1};
        std::string type, style, text;
        bool inText = false;
        for (PartReader cells(*part); cells.Next();) {
            if (cells.IsStart("c")) {
                type = cells.Attribute("t");
                style = cells.Attribute("s");
                at = CellAddress(cells.Attribute("r"));
                text.clear();
            } else if (cells.IsStart(type == "inlineStr" ? "t" : "v")) {
                inText = !cells.IsEmpty();
            } else if (cells.IsEnd("t") || cells.IsEnd("v")) {
                inText = false;
            } else if (inText && cells.IsText()) {
                text += cells.Value();
            } else if (cells.IsEnd("c")) {
                const bool inlineText = type == "inlineStr";
                if (!inlineText && (text.empty() || !sheet->IsEmpty(at.first, at.second)))
                    continue;
                WorkbookCell cell{
                    text.empty() ? WorkbookCell::Kind::Empty : WorkbookCell::Kind::Text, text};
                if (type == "s") {
                    cell.text = sheet->SharedString(std::strtoul(text.c_str(), nullptr, 10));
                } else if (type == "b") {
                    cell = {WorkbookCell::Kind::Bool, text == "1" ? "TRUE" : "FALSE"};
                } else if (type.empty() || type == "n") {
                    double number = 0;
                    if (std::from_chars(text.data(), text.data() + text.size(), number).ec ==
                        std::errc())
                        cell = {WorkbookCell::Kind::Number, NumberText(number)};
                    // Its format tells a date from a number.
                    if (!style.empty())
                        sheet->set_format(static_cast<ss::row_t>(at.first),
                                          static_cast<ss::col_t>(at.second),
                                          std::strtoul(style.c_str(), nullptr, 10));
                }
                sheet->Set(at.first, at.second, cell);
            }
        }
    }
}

// A cell of a .ods, from its value attributes or its paragraphs.
WorkbookCell OdsCell(const std::string& type, const std::string& value,
                     const std::string& dateValue, const std::string& booleanValue,
                     const std::string& text) {
    if (type == "float" || type == "percentage" || type == "currency") {
        double number = 0;
        if (std::from_chars(value.data(), value.data() + value.size(), number).ec == std::errc())
            return {WorkbookCell::Kind::Number, NumberText(number)};
    } else if (type == "date") {
        std::string date = dateValue;
        std::replace(date.begin(), date.end(), 'T', ' ');
        if (date.ends_with(" 00:00:00"))
            date.erase(date.size() - 9);
        return {WorkbookCell::Kind::Date, date};
    } else if (type == "boolean") {
        return {WorkbookCell::Kind::Bool, booleanValue == "true" ? "TRUE" : "FALSE"};
    }
    return {text.empty() ? WorkbookCell::Kind::Empty : WorkbookCell::Kind::Text, text};
}

// liborcus 0.17 keeps only a .ods cell's last paragraph and drops its runs of spaces, which
// would lose line breaks: the content is read from the archive.
std::vector<WorkbookSheet> ReadOds(const std::string& path) {
    const Archive archive(path);
    const std::optional<std::string> content = archive.Part("content.xml");
    if (!content)
        throw Failure(kErrInvalidCall, "'" + path + "' is not an OpenDocument spreadsheet");
    // Programs fill a sheet to its last row and column with repeated empty cells; only
    // cells with content take room.
    constexpr long kMaxRepeat = 1024;
    std::vector<WorkbookSheet> sheets;
    long row = 0, col = 0, rowRepeat = 1, colRepeat = 1;
    std::vector<std::pair<long, WorkbookCell>> rowCells;
    std::string type, value, dateValue, booleanValue, text;
    bool inCell = false, firstParagraph = true;
    const auto endCell = [&] {
        WorkbookCell cell = OdsCell(type, value, dateValue, booleanValue, text);
        if (cell.kind != WorkbookCell::Kind::Empty)
            for (long k = 0; k < std::min(colRepeat, kMaxRepeat); ++k)
                rowCells.emplace_back(col + k, cell);
        col += colRepeat;
        inCell = false;
    };
    const auto endRow = [&] {
        if (!rowCells.empty())
            for (long k = 0; k < std::min(rowRepeat, kMaxRepeat); ++k)
                for (const auto& [c, cell] : rowCells)
                    PutCell(sheets.back(), row + k, c, cell);
        row += rowRepeat;
    };
    for (PartReader reader(*content); reader.Next();) {
        if (reader.IsStart("table") && !sheets.empty() && sheets.back().name.empty()) {
            sheets.back().name = reader.Attribute("name");
        } else if (reader.IsStart("table")) {
            sheets.emplace_back();
            sheets.back().name = reader.Attribute("name");
            row = 0;
        } else if (reader.IsStart("table-row")) {
            rowRepeat = NumberAttribute(reader.Attribute("number-rows-repeated"), 1);
            rowCells.clear();
            col = 0;
            if (reader.IsEmpty())
                endRow();
        } else if (reader.IsEnd("table-row")) {
            endRow();
        } else if (reader.IsStart("table-cell") || reader.IsStart("covered-table-cell")) {
            colRepeat = NumberAttribute(reader.Attribute("number-columns-repeated"), 1);
            type = reader.Attribute("value-type");
            value = reader.Attribute("value");
            dateValue = reader.Attribute("date-value");
            booleanValue = reader.Attribute("boolean-value");
            text.clear();
            firstParagraph = true;
            inCell = true;
            if (reader.IsEmpty())
                endCell();
        } else if (reader.IsEnd("table-cell") || reader.IsEnd("covered-table-cell")) {
            endCell();
        } else if (!inCell) {
            continue;
        } else if (reader.IsStart("p")) {
            if (!firstParagraph)
                text += '\n';
            firstParagraph = false;
        } else if (reader.IsStart("s")) {
            text.append(static_cast<size_t>(NumberAttribute(reader.Attribute("c"), 1)), ' ');
        } else if (reader.IsStart("tab")) {
            text += '\t';
        } else if (reader.IsStart("line-break")) {
            text += '\n';
        } else if (reader.IsStart("annotation")) {
            // A comment's paragraphs are not the cell's.
            for (int depth = reader.IsEmpty() ? 0 : 1; depth > 0 && reader.Next();)
                depth += reader.IsStart("annotation") && !reader.IsEmpty() ? 1
                         : reader.IsEnd("annotation")                      ? -1
                                                                           : 0;
        } else if (reader.IsText()) {
            text += reader.Value();
        }
    }
    return sheets;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Failure(kErrPathFileAccess, "Cannot read '" + path + "'");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Cells of one CSV file, every one text.
class CsvHandler {
public:
    explicit CsvHandler(WorkbookSheet& sheet) : sheet_(sheet) {}
    void begin_parse() {}
    void end_parse() {}
    void begin_row() { sheet_.rows.emplace_back(); }
    void end_row() {
        // A CRLF line end leaves its CR in the row's last cell.
        auto& cells = sheet_.rows.back();
        if (!cells.empty() && !cells.back().text.empty() && cells.back().text.back() == '\r')
            cells.back().text.pop_back();
        while (!cells.empty() && cells.back().text.empty())
            cells.pop_back();
        for (WorkbookCell& cell : cells)
            cell.kind = cell.text.empty() ? WorkbookCell::Kind::Empty : WorkbookCell::Kind::Text;
    }
    void cell(const char* p, size_t n, bool) {
        std::string text(p ? p : "", p ? n : 0);
        // Line breaks inside a quoted cell come back as the table keeps them.
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.erase(at, 1);
        sheet_.rows.back().push_back({WorkbookCell::Kind::Text, std::move(text)});
    }

private:
    WorkbookSheet& sheet_;
};

std::vector<WorkbookSheet> ReadCsv(const std::string& path) {
    std::string bytes = ReadBytes(path);
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.erase(0, 3);
    // The parser ends rows at LF only, and a CR after a quoted cell stops it.
    std::erase(bytes, '\r');
    // Programs with a decimal comma separate by semicolons: the header line tells which.
    const std::string_view firstLine = std::string_view(bytes).substr(0, bytes.find('\n'));
    const auto count = [&](char c) { return std::count(firstLine.begin(), firstLine.end(), c); };
    orcus::csv::parser_config config;
    config.delimiters = count(';') > count(',') ? ";" : ",";
    config.text_qualifier = '"';
    config.trim_cell_value = false;
    std::vector<WorkbookSheet> sheets(1);
    sheets[0].name = std::filesystem::path(path).stem().string();
    CsvHandler handler(sheets[0]);
    orcus::csv_parser<CsvHandler> parser(bytes.data(), bytes.size(), handler, config);
    parser.parse();
    while (!sheets[0].rows.empty() && sheets[0].rows.back().empty())
        sheets[0].rows.pop_back();
    return sheets;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

const WorkbookCell& WorkbookSheet::At(size_t row, size_t column) const {
    if (row >= rows.size() || column >= rows[row].size())
        return kEmptyCell;
    return rows[row][column];
}

std::string NumberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::vector<WorkbookSheet> ReadWorkbook(const std::string& path) {
    const std::string extension = Lower(std::filesystem::path(path).extension().string());
    try {
        if (extension == ".csv")
            return ReadCsv(path);
        if (extension == ".ods")
            return ReadOds(path);
        Factory factory;
        if (extension == ".xlsx" || extension == ".xlsm") {
            orcus::orcus_xlsx filter(&factory);
            filter.read_file(path);
            AddInlineStrings(path, factory);
        } else {
            throw Failure(kErrInvalidCall,
                          "'" + path + "' is not a workbook (.xlsx, .ods) or a .csv file");
        }
        return factory.Result();
    } catch (const Failure&) {
        throw;
    } catch (const std::exception& e) {
        throw Failure(kErrPathFileAccess, "Cannot read '" + path + "': " + e.what());
    }
}

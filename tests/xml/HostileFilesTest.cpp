#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace {

// Peak resident memory of the process since the last ResetPeakRss.
long PeakRssMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6)) / 1024;
    }
    return 0;
}

void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A loopback listener that only counts whether anybody knocked.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int port() const { return port_; }
    bool Knocked() const {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0)
            return false;
        ::close(client);
        return true;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

class HostileFilesTest : public testing::Test {
protected:
    void SetUp() override { ResetPeakRss(); }

    // Loads the file; a failure must be the class error. Returns whether it loaded, and
    // checks that loading wrote nothing, neither into the file nor beside it.
    bool LoadsOrFailsCleanly(const std::string& path) {
        const std::string before = Snapshot(path);
        const auto entries = FolderEntries();
        bool loaded = true;
        try {
            doc.Load(path, kRidoRuduDeclaration);
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number, kClassErrorNumber);
            EXPECT_EQ(failure.description.rfind("Error in Function 'DOMWrapper.Load' \r\n"
                                                "Argument(s) : " +
                                                    path + "\r\nParse-Error : \r\n",
                                                0),
                      0u)
                << failure.description;
            loaded = false;
        }
        EXPECT_EQ(Snapshot(path), before);
        EXPECT_EQ(FolderEntries(), entries);
        return loaded;
    }

    // The bytes of a file, or only its size and time for a file too big to hold.
    static std::string Snapshot(const std::string& path) {
        const auto size = std::filesystem::file_size(path);
        const auto time = std::filesystem::last_write_time(path).time_since_epoch().count();
        const std::string stamp = std::to_string(size) + "@" + std::to_string(time);
        return size < (64u << 20) ? stamp + ReadFileBytes(path) : stamp;
    }

    size_t FolderEntries() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(files.dir()),
                                                 std::filesystem::directory_iterator()));
    }

    // Saves and checks the file is whole: it loads again.
    void SaveAndReload(const std::string& name) {
        const std::string out = files.Path(name);
        doc.Save(out);
        DOMWrapper again;
        again.Load(out);
        EXPECT_NE(again.Document(), nullptr);
    }

    TempFiles files;
    ScriptedMessageBox boxes;
    DOMWrapper doc;
};

TEST_F(HostileFilesTest, ExternalEntitiesNeverReadLocalFiles) {
    const std::string secret = files.Write("secret.txt", "TOP-SECRET");
    const std::string dtd = files.Write("evil.dtd", "<!ENTITY s SYSTEM \"file://" + secret +
                                                        "\"><!ATTLIST r a CDATA \"TOP-SECRET\">");
    const std::string cases[] = {
        // A general entity naming a local file, used in content and in an attribute.
        "<!DOCTYPE r [<!ENTITY s SYSTEM \"file://" + secret + "\">]><r><v>&s;</v></r>",
        "<!DOCTYPE r [<!ENTITY s SYSTEM \"" + secret + "\">]><r><v>[&s;]</v></r>",
        // An external parameter entity that would declare the entity used in the body.
        "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + dtd + "\"> %p;]><r><v>&s;</v></r>",
        // An external DTD subset with an entity and a default attribute value.
        "<!DOCTYPE r SYSTEM \"file://" + dtd + "\"><r><v>&s;</v></r>",
        "<!DOCTYPE r SYSTEM \"" + dtd + "\"><r><v/></r>",
        // XInclude is not processed either.
        "<r xmlns:xi=\"http://www.w3.org/2001/XInclude\"><v><xi:include href=\"" + secret +
            "\" parse=\"text\"/></v></r>",
    };
    int n = 0;
    for (const std::string& content : cases) {
        SCOPED_TRACE(content);
        const std::string path = files.Write("xxe" + std::to_string(n++) + ".xml", content);
        if (!LoadsOrFailsCleanly(path))
            continue;
        EXPECT_EQ(doc.GetElementValue("/r", false).find("TOP-SECRET"), std::string::npos);
        EXPECT_EQ(doc.GetElementValue("/r/@a", true), "");
        SaveAndReload("xxe-out.xml");
        EXPECT_EQ(ReadFileBytes(files.Path("xxe-out.xml")).find("TOP-SECRET"), std::string::npos);
    }
}

TEST_F(HostileFilesTest, ExternalEntitiesNeverReachTheNetwork) {
    Listener listener;
    ASSERT_NE(listener.port(), 0) << "no loopback listener";
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port());
    const std::string cases[] = {
        "<!DOCTYPE r [<!ENTITY s SYSTEM \"" + url + "/s\">]><r>&s;</r>",
        "<!DOCTYPE r [<!ENTITY % p SYSTEM \"" + url + "/p.dtd\"> %p;]><r/>",
        "<!DOCTYPE r SYSTEM \"" + url + "/r.dtd\"><r/>",
        "<!DOCTYPE r PUBLIC \"-//X//Y\" \"" + url + "/r.dtd\"><r a=\"&s;\"/>",
    };
    int n = 0;
    for (const std::string& content : cases) {
        SCOPED_TRACE(content);
        LoadsOrFailsCleanly(files.Write("net" + std::to_string(n++) + ".xml", content));
        EXPECT_FALSE(listener.Knocked()) << "the parser connected to " << url;
    }
}

TEST_F(HostileFilesTest, InternalParameterEntitiesStayInsideTheFile) {
    const std::string path = files.Write(
        "pe.xml", "<!DOCTYPE r [<!ENTITY % p \"<!ENTITY e 'from-pe'>\"> %p;]><r><v>&e;</v></r>");
    if (LoadsOrFailsCleanly(path)) {
        EXPECT_EQ(doc.GetElementValue("/r/v", false), "from-pe");
        SaveAndReload("pe-out.xml");
    }
}

TEST_F(HostileFilesTest, EntityExpansionFailsInBoundedMemory) {
    // Exponential: eleven levels of ten references to a ten-character text.
    std::string bomb = "<!DOCTYPE r [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i < 12; ++i) {
        std::string body;
        for (int k = 0; k < 10; ++k)
            body += "&a" + std::to_string(i - 1) + ";";
        bomb += "<!ENTITY a" + std::to_string(i) + " \"" + body + "\">";
    }
    bomb += "]><r>&a11;</r>";
    EXPECT_FALSE(LoadsOrFailsCleanly(files.Write("bomb.xml", bomb)));

    // Quadratic: a 100 KB entity referenced 20,000 times stands for 2 GB of text.
    std::string quadratic = "<!DOCTYPE r [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><r>";
    for (int i = 0; i < 20000; ++i)
        quadratic += "&big;";
    quadratic += "</r>";
    EXPECT_FALSE(LoadsOrFailsCleanly(files.Write("quadratic.xml", quadratic)));
    // Nested empty entities expand to nothing, but to very many references.
    std::string empties = "<!DOCTYPE r [<!ENTITY e0 \"\">";
    for (int i = 1; i < 9; ++i) {
        std::string body;
        for (int k = 0; k < 16; ++k)
            body += "&e" + std::to_string(i - 1) + ";";
        empties += "<!ENTITY e" + std::to_string(i) + " \"" + body + "\">";
    }
    empties += "]><r>&e8;</r>";
    if (LoadsOrFailsCleanly(files.Write("empties.xml", empties))) {
        EXPECT_EQ(doc.GetElementValue("/r", false), "");
    }
    EXPECT_LT(PeakRssMb(), 1000);

    // A few ordinary entities load and read as their text.
    const std::string modest = files.Write(
        "modest.xml",
        "<!DOCTYPE r [<!ENTITY co \"Smith &amp; Sons\">]><r><a>&co;</a><b>&co;</b></r>");
    ASSERT_TRUE(LoadsOrFailsCleanly(modest));
    EXPECT_EQ(doc.GetElementValue("/r/b", false), "Smith & Sons");
}

TEST_F(HostileFilesTest, ExcessiveDepthFailsWithTheClassError) {
    std::string deep;
    deep.reserve(100000 * 7);
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    deep += "x";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    EXPECT_FALSE(LoadsOrFailsCleanly(files.Write("deep.xml", deep)));

    // A hundred levels is an ordinary document.
    std::string moderate;
    for (int i = 0; i < 100; ++i)
        moderate += "<a>";
    moderate += "x";
    for (int i = 0; i < 100; ++i)
        moderate += "</a>";
    ASSERT_TRUE(LoadsOrFailsCleanly(files.Write("moderate.xml", moderate)));
    EXPECT_FALSE(doc.ClearAllNodes());
    EXPECT_EQ(doc.GetElementValue("/a", false), "");
}

// The parser refuses a single text node over 10 MB (lifting that with its "huge" option
// would lift its other limits too): such a file fails with the class error. Values below
// the limit load whole, and a save keeps them whole.
TEST_F(HostileFilesTest, HugeTextValueFailsAndLargeOneLoadsWhole) {
    const std::string huge = "<r><v>" + std::string(20 * 1024 * 1024, 'v') + "</v></r>";
    EXPECT_FALSE(LoadsOrFailsCleanly(files.Write("huge.xml", huge)));

    const std::string large = "<r><v>" + std::string(8 * 1024 * 1024, 'v') + "</v><w>é</w></r>";
    ASSERT_TRUE(LoadsOrFailsCleanly(files.Write("large.xml", large)));
    doc.SetElementValue("/r/w", "ü");
    SaveAndReload("large-out.xml");
    DOMWrapper again;
    again.Load(files.Path("large-out.xml"));
    EXPECT_EQ(again.GetElementValue("/r/v", false), std::string(8 * 1024 * 1024, 'v'));
    EXPECT_EQ(again.GetElementValue("/r/w", false), "ü");
    EXPECT_LT(PeakRssMb(), 1000);
}

TEST_F(HostileFilesTest, FileLargerThanTheParserTakesFailsWithoutBeingRead) {
    // Sparse: takes no disk space, but reading it whole would take over 2 GB of memory.
    const std::string path = files.Write("sparse.xml", "<r>");
    std::filesystem::resize_file(path, (1ull << 31) + 16);
    EXPECT_FALSE(LoadsOrFailsCleanly(path));
    EXPECT_LT(PeakRssMb(), 1000);
}

TEST_F(HostileFilesTest, GarbageBytesFailWithTheClassError) {
    const std::string cases[] = {
        std::string(4096, '\0'),
        std::string("<r>\0</r>", 8),
        "<r>\xC3\x28</r>",             // broken two-byte sequence
        "<r>\xED\xA0\x80</r>",         // encoded surrogate
        "<r>\xF8\x88\x80\x80\x80</r>", // five-byte form
        "<r a=\"\xFF\xFE\"/>",         // bytes that never occur in UTF-8
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC0\xAF</r>", // overlong
        "\xFF\xFE<\0r\0",                                            // UTF-16 cut short
        "",
    };
    int n = 0;
    for (const std::string& content : cases) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(
            LoadsOrFailsCleanly(files.Write("bad" + std::to_string(n++) + ".xml", content)));
        EXPECT_EQ(doc.GetElementValue("/r", true), "");
    }
}

// A value the file could not hold is refused, so a save never writes a file that does not
// load again.
TEST_F(HostileFilesTest, ValuesXmlCannotHoldAreRefused) {
    const std::string path =
        files.Write("values.xml", "<r a=\"1\"><v>old</v><c><![CDATA[x]]></c></r>");
    ASSERT_TRUE(LoadsOrFailsCleanly(path));
    const std::string values[] = {
        "bell\x07",     std::string("nul\0byte", 8),
        "\xC3\x28",     "\xED\xA0\x80",
        "\xC0\xAF",     "\xEF\xBF\xBE",
        "cut \xE2\x82", "\xBE\xBE lead is a continuation byte",
    };
    for (const std::string& value : values) {
        for (const char* target : {"/r/v", "/r/@a", "/r/c/text()"}) {
            SCOPED_TRACE(std::string(target) + " <- " + value);
            try {
                doc.SetElementValue(target, value);
                ADD_FAILURE() << "value accepted";
            } catch (const Failure& failure) {
                EXPECT_EQ(failure.number, kClassErrorNumber);
            }
        }
    }
    // Attribute values set by the path edits and the record builders are checked alike.
    EXPECT_THROW(doc.AppendNode("/r", "n", "", "k", "bell\x07"), Failure);
    EXPECT_THROW(doc.SetAttributes("/r", 0, "\xC3\x28"), Failure);
    doc.GetElementValue("/r/v", false);
    EXPECT_THROW(doc.AddDatas("nul\x01"), Failure);
    EXPECT_THROW(doc.AddField("A", "\xBE\xBE", "v"), Failure);
    EXPECT_EQ(doc.CountElementsByTagName("*"), 3);
    EXPECT_EQ(doc.GetElementValue("/r/v", false), "old");
    EXPECT_EQ(doc.GetElementValue("/r/@a", false), "1");
    doc.SetElementValue("/r/v", "tab\t cr\r lf\n ]]> \xF0\x9F\x98\x80 \xEF\xBF\xBD");
    doc.SetElementValue("/r/c/text()", "a ]]> b");
    SaveAndReload("values-out.xml");
    DOMWrapper again;
    again.Load(files.Path("values-out.xml"));
    EXPECT_EQ(again.GetElementValue("/r/c", false), "a ]]> b");
    EXPECT_EQ(again.GetElementValue("/r/v", false).substr(0, 4), "tab\t");
}

// libxml2's own name check reads broken UTF-8 as other characters and stops at a NUL, so
// such names reached the saved file.
TEST_F(HostileFilesTest, NamesXmlCannotHoldAreRefused) {
    ASSERT_TRUE(LoadsOrFailsCleanly(files.Write("names.xml", "<r><v>old</v></r>")));
    const std::string names[] = {
        "\x9A\xA1\xB0=\xA9",     // continuation byte as lead, then '='
        "\xE8\xA1\xB0\xA9",      // a stray continuation byte after a whole character
        std::string("v\0=x", 4), // NUL: the part before it is a valid name
        "\xC3\x28",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_THROW(doc.AppendNode("/r", name), Failure);
        EXPECT_THROW(doc.AppendNode("/r", "n", "", name, "1"), Failure);
        doc.GetElementValue("/r/v", false);
        EXPECT_THROW(doc.AddNode(name), Failure);
        DOMWrapper fresh;
        EXPECT_THROW(fresh.NewDoc(name), Failure);
    }
    EXPECT_EQ(doc.CountElementsByTagName("*"), 2);
    SaveAndReload("names-out.xml");
}

TEST_F(HostileFilesTest, CommentsAndInstructionsKeepTheirMarkupWhole) {
    ASSERT_TRUE(LoadsOrFailsCleanly(
        files.Write("markup.xml", "<?top data?><r><!-- note --><?pi x?><v>1</v></r>")));
    const std::pair<const char*, const char*> refused[] = {
        {"//comment()", "a--b"},
        {"//comment()", "ends with -"},
        {"/processing-instruction()", "a?>b"},
        {"/r/processing-instruction()", "?>"},
    };
    for (const auto& [path, value] : refused) {
        SCOPED_TRACE(std::string(path) + " <- " + value);
        try {
            doc.SetElementValue(path, std::string(value));
            ADD_FAILURE() << "value accepted";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number, kClassErrorNumber);
        }
    }
    doc.SetElementValue("//comment()", std::string("- a - b ->"));
    doc.SetElementValue("/r/processing-instruction()", std::string("a ? > b"));
    SaveAndReload("markup-out.xml");
    DOMWrapper again;
    again.Load(files.Path("markup-out.xml"));
    EXPECT_EQ(again.GetElementValue("//comment()", false), "- a - b ->");
    EXPECT_EQ(again.GetElementValue("/processing-instruction()", false), "data");
    EXPECT_EQ(again.GetElementValue("/r/processing-instruction()", false), "a ? > b");
}

TEST_F(HostileFilesTest, Utf16WithByteOrderMarkLoadsAndSavesBackAsUtf16) {
    const QString text = QStringLiteral("<r a=\"ä\"><v>漢字 &amp; 😀</v></r>");
    struct Case {
        const char* name;
        QStringConverter::Encoding encoding;
        QString content;
    } cases[] = {
        {"le-declared.xml", QStringConverter::Utf16LE,
         QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>") + text},
        {"be-declared.xml", QStringConverter::Utf16BE,
         QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>") + text},
        {"le-bare.xml", QStringConverter::Utf16LE, text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringEncoder encode(c.encoding, QStringConverter::Flag::WriteBom);
        const QByteArray bytes = encode(c.content);
        const std::string path = files.Write(c.name, bytes.toStdString());
        ASSERT_TRUE(LoadsOrFailsCleanly(path));
        EXPECT_EQ(doc.GetElementValue("/r/v", false), "漢字 & 😀");
        EXPECT_EQ(doc.GetElementValue("/r/@a", false), "ä");

        doc.SetElementValue("/r/v", "ß ✓");
        const std::string out = files.Path(std::string("out-") + c.name);
        doc.Save(out);
        const std::string saved = ReadFileBytes(out);
        ASSERT_GE(saved.size(), 2u);
        const bool le = saved.compare(0, 2, "\xFF\xFE") == 0;
        const bool be = saved.compare(0, 2, "\xFE\xFF") == 0;
        ASSERT_TRUE(le || be) << "no UTF-16 byte-order mark";
        QStringDecoder decode(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        const QString decoded = decode(QByteArray::fromStdString(saved.substr(2)));
        EXPECT_FALSE(decode.hasError());
        EXPECT_TRUE(decoded.contains(QStringLiteral("ß ✓"))) << decoded.toStdString();

        DOMWrapper again;
        again.Load(out);
        EXPECT_EQ(again.GetElementValue("/r/v", false), "ß ✓");
        EXPECT_EQ(again.GetElementValue("/r/@a", false), "ä");
    }
}

} // namespace

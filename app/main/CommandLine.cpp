#include "app/main/CommandLine.h"
#include "app/shared/Configuration.h"
#include "app/table/TableOpening.h"
#include "common/AppPaths.h"
#include "common/Failure.h"
#include "xml/DOMWrapper.h"
#include "xml/DocumentOutline.h"
#include "xml/FieldPaths.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kProgram = "ravlen";

CommandLineRequest Refuse(const QString& reason) {
    CommandLineRequest request;
    request.bExit = true;
    request.nExitCode = kCommandLineRefused;
    request.sError = QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), reason);
    return request;
}

CommandLineRequest Misused(const QString& reason) {
    return Refuse(
        reason +
        QStringLiteral("\nTry '%1 --help' for more information.").arg(QLatin1String(kProgram)));
}

CommandLineRequest UnknownConfiguration(const QString& number) {
    return Refuse(QStringLiteral("no configuration has the number '%1'.").arg(number));
}

CommandLineRequest Answer(const QString& text) {
    CommandLineRequest request;
    request.bExit = true;
    request.sOutput = text;
    return request;
}

} // namespace

CommandLineRequest ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Edits the configured fields of XML data files."));
    // Qt's own help option also offers --help-all for Qt's options, which are not taken here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on command-line options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Choose the configuration with this number at start, as listed (001)."),
        QStringLiteral("NNN"));
    parser.addOption(config);
    const QCommandLineOption newConfig(
        QStringLiteral("new-config"),
        QStringLiteral("Build a new configuration by picking fields in this data file."),
        QStringLiteral("FILE"));
    parser.addOption(newConfig);
    const QCommandLineOption suggest(
        QStringLiteral("suggest-fields"),
        QStringLiteral("Print a path, an alias and the number of matches for every element "
                       "holding text and every attribute of this data file, then exit."),
        QStringLiteral("FILE"));
    parser.addOption(suggest);
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("XML data file to open, as if dropped onto the source box; several "
                       "files or a folder open the table of many files."),
        QStringLiteral("[file...]"));

    if (!parser.parse(arguments))
        return Misused(parser.errorText());
    if (parser.isSet(help))
        return Answer(parser.helpText());
    if (parser.isSet(version))
        return Answer(
            QStringLiteral("%1 %2\n").arg(QLatin1String(kProgram), QLatin1String(RAVLEN_VERSION)));
    if (parser.isSet(suggest))
        return SuggestFields(parser.value(suggest));
    const QStringList files = parser.positionalArguments();

    CommandLineRequest request;
    if (parser.isSet(newConfig))
        request.sNewConfigFile = QFileInfo(parser.value(newConfig)).absoluteFilePath();
    if (parser.isSet(config)) {
        // A number as the list shows it: 1 is the configuration listed as 001.
        try {
            request.sConfigNumber = QString::fromStdString(
                ConfigNumberText(ConfigNumber(parser.value(config).toStdString())));
        } catch (const std::exception&) {
            return UnknownConfiguration(parser.value(config));
        }
    }
    QStringList paths;
    for (const QString& file : files)
        paths.append(QFileInfo(file).absoluteFilePath());
    // Several files, or a folder, go to the table of many files.
    if (OpensTable(paths))
        request.TableFiles = paths;
    else if (!paths.isEmpty())
        request.sFile = paths.front();
    return request;
}

CommandLineRequest ReadCommandLine(int argc, char** argv) {
    // The parser's help text and the configuration's path need the application object.
    const QCoreApplication probe(argc, argv);
    CommandLineRequest request = ParseCommandLine(QCoreApplication::arguments());
    CheckConfigurationNumber(request);
    return request;
}

void CheckConfigurationNumber(CommandLineRequest& request) {
    if (request.bExit || request.sConfigNumber.isEmpty())
        return;
    std::vector<ConfigurationEntry> listed;
    try {
        const std::string path = ConfigurationFilePath();
        // A missing or broken configuration file is the window's to report.
        if (!QFileInfo(QString::fromStdString(path)).isFile())
            return;
        DOMWrapper configDoc;
        configDoc.Load(path, "");
        listed = ListConfigurations(configDoc);
    } catch (const std::exception&) {
        return;
    }
    const bool found = std::any_of(listed.begin(), listed.end(), [&](const auto& entry) {
        return QString::fromStdString(ConfigNumberText(entry.nNumber)) == request.sConfigNumber;
    });
    if (!found)
        request = UnknownConfiguration(request.sConfigNumber);
}

CommandLineRequest SuggestFields(const QString& sFile) {
    DOMWrapper doc;
    try {
        doc.Load(sFile.toStdString(), kRidoRuduDeclaration);
    } catch (const Failure& e) {
        return Refuse(QString::fromStdString(e.reason.empty() ? e.description : e.reason) +
                      QStringLiteral(" (%1)").arg(sFile));
    } catch (const std::exception& e) {
        return Refuse(QString::fromStdString(e.what()));
    }
    std::string lines;
    for (const DOMNode& node : TextNodesInOrder(doc)) {
        try {
            const FieldProposal proposal = ProposeField(doc, node);
            lines += proposal.sPath + "\t" + proposal.sAlias + "\t" +
                     std::to_string(CountMatches(doc, proposal.sPath)) + "\n";
        } catch (const std::exception& e) {
            // Not expected; the rest of the file is still worth its lines.
            std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        }
    }
    return Answer(QString::fromStdString(lines));
}

int PrintAndExit(const CommandLineRequest& request) {
    std::fputs(request.sOutput.toLocal8Bit().constData(), stdout);
    std::fputs(request.sError.toLocal8Bit().constData(), stderr);
    return request.nExitCode;
}

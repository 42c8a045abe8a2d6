#include "CommandLine.h"

#include <QCommandLineParser>

namespace cli {

namespace {

// One option per line of the help, in the order shown there.
struct Options {
    QCommandLineOption files{{QStringLiteral("f"), QStringLiteral("fichiers")}};
    QCommandLineOption folders{{QStringLiteral("d"), QStringLiteral("dossiers")}};
    QCommandLineOption flatten{{QStringLiteral("a"), QStringLiteral("aplatir")}};
    QCommandLineOption undo{{QStringLiteral("u"), QStringLiteral("annuler")}};
    QCommandLineOption criteria{
        {QStringLiteral("c"), QStringLiteral("criteres")}, QString(), QStringLiteral("critères")};
    QCommandLineOption captureDate{{QStringLiteral("p"), QStringLiteral("prise-de-vue")}};
    QCommandLineOption dryRun{{QStringLiteral("n"), QStringLiteral("simulation")}};
    QCommandLineOption journal{{QStringLiteral("j"), QStringLiteral("journal")}};
    QCommandLineOption noJournal{QStringLiteral("sans-journal")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("aide")}};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}};
};

QString folded(QString word) {
    word = word.trimmed().toLower();
    word.replace(u'é', u'e').replace(u'è', u'e');
    return word;
}

bool applyWord(const QString& word, Criteria& criteria) {
    if (word == u"lettre" || word == u"initiale" || word == u"alpha")
        criteria.letter = true;
    else if (word == u"annee" || word == u"an")
        criteria.year = true;
    else if (word == u"mois")
        criteria.month = true;
    else if (word == u"jour")
        criteria.day = true;
    else
        return false;
    return true;
}

bool applyLetters(const QString& letters, Criteria& criteria) {
    Criteria read = criteria;
    for (const QChar letter : letters) {
        switch (letter.toUpper().unicode()) {
        case u'L':
            read.letter = true;
            break;
        case u'A':
            read.year = true;
            break;
        case u'M':
            read.month = true;
            break;
        case u'J':
            read.day = true;
            break;
        default:
            return false;
        }
    }
    criteria = read;
    return true;
}

// The parser's own messages are English: ours say the same in French.
QString errorText(const QCommandLineParser& parser, const QStringList& arguments) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty())
        return QStringLiteral("option inconnue : %1%2")
            .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                 unknown.first());
    // The only other failure is an option that needs a value and has none.
    for (const QString& argument : arguments)
        if (argument == u"-c" || argument == u"--criteres")
            return QStringLiteral("l'option %1 attend une valeur").arg(argument);
    return QStringLiteral("options illisibles");
}

} // namespace

bool WantsCommand(const QStringList& arguments) {
    // The toolkit's own options keep starting the window, as they always did: a session manager
    // restarts it with -session, a user may choose -platform or -style.
    static const QStringList withValue{
        QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
        QStringLiteral("display"),         QStringLiteral("name"),
        QStringLiteral("title"),           QStringLiteral("geometry"),
        QStringLiteral("style"),           QStringLiteral("stylesheet"),
        QStringLiteral("qmljsdebugger")};
    static const QStringList flags{QStringLiteral("reverse"),     QStringLiteral("visual"),
                                   QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                                   QStringLiteral("dograb"),      QStringLiteral("sync")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!argument.startsWith(u'-') || argument.size() < 2)
            continue;
        QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
        const bool inlineValue = name.contains(u'=');
        name = name.section(u'=', 0, 0);
        if (withValue.contains(name)) {
            if (!inlineValue)
                ++i;
            continue;
        }
        if (!flags.contains(name))
            return true;
    }
    return false;
}

bool ParseCriteria(const QString& text, Criteria& criteria) {
    const QStringList parts = text.split(u',', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    for (const QString& part : parts) {
        const QString word = folded(part);
        if (!applyWord(word, criteria) && !applyLetters(word, criteria))
            return false;
    }
    return true;
}

Command Parse(const QStringList& arguments) {
    Command command;
    Options o;
    QCommandLineParser parser;
    parser.addOptions({o.files, o.folders, o.flatten, o.undo, o.criteria, o.captureDate, o.dryRun,
                       o.journal, o.noJournal, o.help, o.version});
    if (!parser.parse(arguments)) {
        command.error = errorText(parser, arguments);
        return command;
    }
    if (parser.isSet(o.help)) {
        command.action = Action::Help;
        return command;
    }
    if (parser.isSet(o.version)) {
        command.action = Action::Version;
        return command;
    }
    const QList<std::pair<const QCommandLineOption*, Action>> actions{
        {&o.files, Action::SortFiles},
        {&o.folders, Action::SortFolders},
        {&o.flatten, Action::Flatten},
        {&o.undo, Action::Undo}};
    int chosen = 0;
    for (const auto& [option, action] : actions) {
        if (parser.isSet(*option)) {
            command.action = action;
            ++chosen;
        }
    }
    if (chosen != 1) {
        command.action = Action::Window;
        command.error = chosen == 0 ? QStringLiteral("dites ce qu'il faut faire : --fichiers, "
                                                     "--dossiers, --aplatir ou --annuler")
                                    : QStringLiteral("une seule action à la fois : --fichiers, "
                                                     "--dossiers, --aplatir ou --annuler");
        return command;
    }
    const bool sorts = command.action == Action::SortFiles || command.action == Action::SortFolders;
    for (const QString& value : parser.values(o.criteria)) {
        if (!ParseCriteria(value, command.criteria)) {
            command.error = QStringLiteral("critères inconnus : « %1 » (lettre, annee, mois, "
                                           "jour, ou L, A, M, J)")
                                .arg(value);
            return command;
        }
    }
    if (sorts && !command.criteria.any()) {
        command.error = QStringLiteral("choisissez les critères avec --criteres, par exemple "
                                       "--criteres annee,mois");
        return command;
    }
    if (!sorts && parser.isSet(o.criteria)) {
        command.error = QStringLiteral("--criteres ne sert qu'à --fichiers et --dossiers");
        return command;
    }
    command.captureDate = parser.isSet(o.captureDate);
    if (command.captureDate && command.action != Action::SortFiles) {
        command.error = QStringLiteral("--prise-de-vue ne sert qu'à --fichiers");
        return command;
    }
    if (parser.isSet(o.journal) && parser.isSet(o.noJournal)) {
        command.error = QStringLiteral("--journal et --sans-journal s'excluent");
        return command;
    }
    command.journal = parser.isSet(o.journal);
    command.dryRun = parser.isSet(o.dryRun);
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) {
        command.error = QStringLiteral("un seul dossier à la fois");
        return command;
    }
    command.folder = folders.value(0);
    if (command.folder.isEmpty() && command.action != Action::Undo) {
        command.error = QStringLiteral("indiquez le dossier à ranger");
        return command;
    }
    return command;
}

QString HelpText() {
    return QStringLiteral(
        "Usage : ordalix [DOSSIER]\n"
        "        ordalix ACTION [OPTIONS] DOSSIER\n"
        "        ordalix --annuler [--simulation] [DOSSIER]\n"
        "\n"
        "Sans option, ordalix ouvre sa fenêtre sur DOSSIER. Avec une action, il range sans\n"
        "fenêtre ni écran, comme la fenêtre le ferait, et rend compte sur le terminal.\n"
        "\n"
        "Actions :\n"
        "  -f, --fichiers          Range les fichiers du dossier dans des sous-dossiers.\n"
        "  -d, --dossiers          Range les sous-dossiers du dossier de la même façon.\n"
        "  -a, --aplatir           Ramène tous les fichiers de l'arborescence dans le dossier.\n"
        "  -u, --annuler           Annule le dernier rangement. Avec DOSSIER, seulement si ce\n"
        "                          dernier rangement a eu lieu dans DOSSIER ; sinon rien\n"
        "                          n'est annulé.\n"
        "\n"
        "Options :\n"
        "  -c, --criteres <critères>\n"
        "                          lettre (première lettre du nom), ou annee, mois, jour\n"
        "                          séparés par des virgules ; en abrégé L, A, M, J\n"
        "                          (par exemple AM pour annee,mois).\n"
        "  -p, --prise-de-vue      Date les photos et les vidéos par leur prise de vue.\n"
        "  -n, --simulation        Affiche ce qui serait fait, sans rien changer.\n"
        "  -j, --journal           Tient les journaux du dossier (DOSSIER/ORDALIX_LOG).\n"
        "      --sans-journal      Ne tient pas de journal (par défaut).\n"
        "  -h, --help, --aide      Affiche cette aide.\n"
        "  -v, --version           Affiche la version.\n"
        "\n"
        "Ce qui est remplacé ou rangé va à la corbeille ; rien n'est supprimé.\n"
        "Ctrl+C (ou SIGTERM) arrête le rangement à l'étape suivante ; ce qui a déjà été fait\n"
        "peut ensuite être défait avec --annuler.\n"
        "Un seul rangement à la fois travaille dans un dossier : un second attend deux\n"
        "secondes, puis renonce sans rien toucher.\n"
        "\n"
        "Statut de sortie : 0 tout a été fait ; 1 des éléments sont restés à leur place (chacun\n"
        "est nommé sur la sortie d'erreur), le rangement a été arrêté, un autre rangement\n"
        "occupait le dossier ou le journal d'annulation n'a pas pu être écrit ; 2 erreur\n"
        "d'usage, dossier absent ou refusé.\n"
        "\n"
        "Exemples :\n"
        "  ordalix --fichiers --criteres annee,mois ~/Images\n"
        "  ordalix -f -c AMJ -p --simulation ~/Images\n"
        "  ordalix --annuler\n");
}

QString NoDisplayText() {
    return QStringLiteral(
        "ordalix : aucun écran n'est disponible (ni DISPLAY ni WAYLAND_DISPLAY) : la fenêtre ne\n"
        "peut pas s'ouvrir. Sans fenêtre, donnez une action, par exemple :\n"
        "  ordalix --fichiers --criteres annee,mois DOSSIER\n"
        "Pour l'aide : ordalix --help\n");
}

QString CriteriaWithoutDestinationText() {
    return QStringLiteral("Les critères annee et jour ne vont pas l'un sans l'autre : ajoutez le "
                          "mois (par exemple --criteres annee,mois,jour, ou -c AMJ).");
}

QString VersionText() {
    return QStringLiteral("ordalix " ORDALIX_VERSION "\n");
}

} // namespace cli

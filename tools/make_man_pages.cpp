// Writes the manual pages plashwerk(1) and plashwerk-scores(1). Their OPTIONS sections are
// the programs' own usage texts (the settings table's, and the score server's), turned into
// roff, so a manual page and --help can never disagree.
//
//   make_man_pages OUT_FOLDER VERSION

#include <cstdio>
#include <string>
#include <vector>

#include "server/options.h"
#include "settings/startup_options.h"

namespace {

// Text as roff takes it: backslashes and minus signs escaped, no control character first.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

struct Option {
    std::string spelling;
    std::string help;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        out.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Option lines of a usage text: "  SPELLING", two blanks or more, then the help; lines that
// start blank up to `help_column` continue the help of the option above.
std::vector<Option> optionsOf(const std::string& usage, size_t help_column) {
    std::vector<Option> options;
    for (const std::string& line : lines(usage)) {
        if (line.size() > 2 && line[0] == ' ' && line[1] == ' ' && line[2] != ' ') {
            // The spelling ends at the first gap of two blanks (or the line's end).
            const size_t gap = line.find("  ", 2);
            Option o;
            o.spelling = trimmed(line.substr(2, gap == std::string::npos ? gap : gap - 2));
            if (gap != std::string::npos) o.help = trimmed(line.substr(gap));
            options.push_back(o);
        } else if (!options.empty() && line.size() > help_column &&
                   line.find_first_not_of(' ') >= help_column) {
            std::string& help = options.back().help;
            help += (help.empty() ? "" : " ") + trimmed(line);
        }
    }
    return options;
}

std::string optionsSection(const std::vector<Option>& options) {
    std::string text = ".SH OPTIONS\n";
    for (const Option& o : options)
        text += ".TP\n.B " + roff(o.spelling) + "\n" + roff(o.help) + "\n";
    return text;
}

std::string header(const std::string& name, const std::string& version) {
    std::string upper;
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return ".TH " + roff(upper) + " 1 \"\" \"Plashwerk " + version +
           "\" \"User Commands\"\n.SH NAME\n" + roff(name) + " \\- ";
}

std::string programPage(const std::string& version) {
    std::string page = header("plashwerk", version);
    page +=
        "GPU benchmark and stress test with SPH particle fluids\n"
        ".SH SYNOPSIS\n.B plashwerk\n[\\fIoptions\\fR]\n"
        ".SH DESCRIPTION\n"
        "Plashwerk fills a 3D scene with particle fluids, draws them as lit, shadowed point "
        "sprites with OpenGL, measures simulation steps and frames per second, scores a "
        "benchmark run and watches every GPU (temperature, clocks, load, power, fan).\n"
        ".PP\nStarted without \\fB/nogui\\fR on a desktop it opens its startup dialog; with "
        "\\fB/nogui\\fR it runs at once from its settings, and without a display it renders "
        "offscreen. Options take the Windows form \\fB/name\\fR or \\fB/name=value\\fR and may "
        "stand anywhere on the command line. Settings not given on the command line come "
        "from the options file, else from the defaults shown below.\n";
    page += optionsSection(optionsOf(plashwerk::formatUsage(), 43));
    page +=
        ".SH FILES\n"
        "Run from a build tree or an unpacked folder, the program keeps its files beside itself "
        "and in the working directory. Installed, it uses these places "
        "(\\fBplashwerk \\-\\-paths\\fR prints them):\n"
        ".TP\n.I $XDG_CONFIG_HOME/plashwerk/startup_options.xml\n"
        "the options file (default \\fI~/.config\\fR), read and, after a session with the "
        "startup dialog, written; when it is absent, "
        "\\fI$XDG_CONFIG_DIRS/plashwerk/startup_options.xml\\fR (default \\fI/etc/xdg\\fR) is "
        "read\n"
        ".TP\n.I $XDG_STATE_HOME/plashwerk/\n"
        "the trace log \\fIPlashwerk_trace.log\\fR, the GPU monitoring logs and the scores "
        "file \\fIPlashwerk_Scores.csv\\fR (default \\fI~/.local/state\\fR; made with mode "
        "0700)\n"
        ".TP\n.I $XDG_PICTURES_DIR/Plashwerk/\n"
        "the screenshots (the pictures folder of \\fIuser\\-dirs.dirs\\fR, else "
        "\\fI~/Pictures\\fR)\n"
        ".TP\n.I /usr/share/plashwerk/data/\n"
        "the images the scene is drawn with\n"
        ".SH EXIT STATUS\n"
        "0 after a finished or stopped run; 1 when start\\-up fails or the results could not "
        "be written; 2 when the startup dialog is asked for without a display.\n"
        ".SH SEE ALSO\n.BR plashwerk\\-scores (1)\n";
    return page;
}

std::string serverPage(const std::string& version) {
    std::string page = header("plashwerk-scores", version);
    page +=
        "score server for Plashwerk benchmark results\n"
        ".SH SYNOPSIS\n.B plashwerk\\-scores\n[\\fIoptions\\fR]\n"
        ".SH DESCRIPTION\n"
        "plashwerk\\-scores takes the scores Plashwerk submits after a benchmark, keeps them in "
        "one SQLite file and serves the score pages and their JSON. Ctrl+C or SIGTERM stops it "
        "cleanly.\n"
        ".PP\nThe package installs the systemd unit \\fIplashwerk\\-scores.service\\fR, "
        "disabled: it runs the server as a user of its own with the database in "
        "\\fI/var/lib/plashwerk\\-scores/\\fR. Start it with \\fBsystemctl enable \\-\\-now "
        "plashwerk\\-scores\\fR.\n";
    page += optionsSection(optionsOf(plashwerk::server::serverUsage(), 17));
    page += ".SH SEE ALSO\n.BR plashwerk (1)\n";
    return page;
}

bool writeText(const std::string& path, const std::string& text) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool ok = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (out && std::fclose(out) != 0) return false;
    if (!ok) std::fprintf(stderr, "make_man_pages: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_man_pages OUT_FOLDER VERSION\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    return writeText(folder + "plashwerk.1", programPage(argv[2])) &&
                   writeText(folder + "plashwerk-scores.1", serverPage(argv[2]))
               ? 0
               : 1;
}

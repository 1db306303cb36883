#include "frontend/help.h"

#include <cstdio>
#include <iterator>

#include "frontend/options.h"
#include "frontend/output.h"

namespace zv::frontend {

namespace {

constexpr unsigned OPTIONS_LINE_LENGTH = 256;

const char* const USAGE_TEXTS[] = {
    "\nPROGRAM USAGE:\n\n  zvtape.exe [command line options]\n",
    "\nCOMMAND LINE OPTIONS:\n\n",
    "  /cfg <file>\t\tcommand line option configuration file\n",
    "  /ofile <file>\t\toutput file name\n",
    "  /afile <file>\t\toutput file name (append)\n",
    "  /cfile <file>\t\tcreate CDB list file\n",
    "  /dfile <file>\t\tinput file name for user-defined data pattern\n",
    "  /drand ['r']\t\tuse (repeating) pseudo-random data pattern\n",
    "  /hanum <value>\thost adapter number\n",
    "  /bus <value>\t\thost adapter bus number\n",
    "  /tid <value>\t\ttape drive SCSI id\n",
    "  /lun <value>\t\ttape drive logical unit number\n",
    "  /den <value>\t\ttape drive density code\n",
    "  /loop <value>\t\tnumber of test iterations to perform\n",
    "  /megs <value>\t\tamount of data to write/read (in MB)\n",
    "  /sdint <value>\tstatus display interval (number of MB)\n",
    "  /lbsize <value|\"ms\">\tlogical block size (in bytes or from \"mode sense\")\n",
    "  /maxtl <value>\tmaximum write/read data transfer length (in bytes)\n",
    "  /dsc <label> [delay]\tdrive status configuration label (see \"zvtape.dsc\")\n",
    "  /uld\t\t\tunload/reload drive after each test iteration\n",
    "  /vbus <file>\t\tuse the virtual SCSI bus described in <file>\n",
    "  /dump [value]\t\tdisplay [value] bytes of miscompared data (and good data)\n",
    "  /json <file>\t\twrite a JSON summary of the run to <file>\n",
    "  /?\t\t\tthis help screen\n",
};

const char* const NOTES_BEFORE_LINE_LENGTH[] = {
    "\nPROGRAM NOTES:\n\n",
    "  This \"CV\" version of the program is for customers.\n\n",
    "  All <value> parameters can be represented in hexadecimal or decimal.  Any\n",
    "  hexadecimal <value> must have an 'h' appended to it or a \"0x\" preceding it.\n\n",
    "  If there is a command line option error, a SCSI error, a CTRL-C (break)\n",
    "  interrupt, or a CTRL-A abort attempt, the program will exit and set the DOS\n",
    "  environmental \"ERRORLEVEL\" to one.\n\n",
    "  The \"/cfg\" option allows the user to use a configuration file for setting\n",
    "  command line options rather than using the command line.  Any line that does\n",
    "  not start with a '/' character will be ignored.  Any line that does start\n",
    "  with a '/' character will be considered a line with valid options.  Multiple\n",
    "  options can be on one line and options can be spread across multiple lines.\n",
};

const char* const NOTES_AFTER_LINE_LENGTH[] = {
    "  configuration file.\n\n",
    "  If both the \"/dfile\" and \"/drand\" options are not used, the default data\n",
    "  pattern will be null data.  Both options should not be used at the same time.\n\n",
    "  The \"/drand\" optional parameter 'r' is for making the pseudo-random data\n",
    "  pattern repeat for every logical block written/read.  This parameter will\n",
    "  be ignored when using variable block mode.\n\n",
    "  The \"/sdint\" option allows the user to display status information during each\n",
    "  test iteration at a specified interval.  The interval <value> supplied will\n",
    "  be interpreted as a megabyte interval.\n\n",
    "  The \"/dump\" option will display [value] bytes of miscompared data (and good\n",
    "  data) that was read during a read/compare test.  This option is ignored when\n",
    "  not performing a read/compare test.  By default, there is no miscompared data\n",
    "  display.\n\n",
    "  The \"/uld\" option will tell the program to unload then reload the drive after\n",
    "  each test iteration performed.\n\n",
    "  Note that some host adapter drivers cannot handle large transfers.  If there\n",
    "  are Win32 SRB status errors while writing or reading, try using the \"/maxtl\"\n",
    "  option to reduce the size of the CDB transfer.\n\n",
};

void print_texts(std::FILE* console, const char* const* texts, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) std::fputs(texts[i], console);
}

}  // namespace

void print_help_screen() {
    std::FILE* console = channels.console;
    print_title_block(console, nullptr, PROGRAM_TITLE);
    print_texts(console, USAGE_TEXTS, std::size(USAGE_TEXTS));

    std::fputs("\nDEFAULT TEST SETTINGS:\n\n", console);
    std::fprintf(console, "  output file name\t\t\t\t= \"%s\"\n", settings.output_file_name.c_str());
    std::fprintf(console, "  host adapter number\t\t\t\t= %u\n", static_cast<unsigned>(settings.host_adapter_number));
    std::fprintf(console, "  host adapter bus number\t\t\t= %u\n", static_cast<unsigned>(settings.bus_number));
    std::fprintf(console, "  tape drive SCSI id\t\t\t\t= %X\n", static_cast<unsigned>(settings.target_id));
    std::fprintf(console, "  tape drive density code\t\t\t= 0x%02X\n", static_cast<unsigned>(settings.density_code));
    std::fprintf(console, "  number of test iterations to perform\t\t= %u\n",
                 static_cast<unsigned>(settings.iterations));
    std::fprintf(console, "  amount of data to write/read\t\t\t= %.3f MB\n", settings.data_amount_mb);
    // The screen always shows the per-iteration default, whatever "/sdint" says.
    std::fputs("  status display interval\t\t\t= once per iteration\n", console);
    std::fprintf(console, "  logical block size\t\t\t\t= 0x%lX bytes\n",
                 static_cast<unsigned long>(settings.logical_block_size));
    std::fprintf(console, "  maximum write/read data transfer length\t= 0x%lX bytes\n",
                 static_cast<unsigned long>(settings.max_transfer_length));

    print_texts(console, NOTES_BEFORE_LINE_LENGTH, std::size(NOTES_BEFORE_LINE_LENGTH));
    std::fprintf(console, "  The maximum line length can be up to %u characters.  There is no default\n",
                 OPTIONS_LINE_LENGTH);
    print_texts(console, NOTES_AFTER_LINE_LENGTH, std::size(NOTES_AFTER_LINE_LENGTH));
}

void print_version() {
    std::fprintf(channels.console, "%s\nzvtape %s\n", PROGRAM_TITLE, ZV_VERSION);
}

}  // namespace zv::frontend

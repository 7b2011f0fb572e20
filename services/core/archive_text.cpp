#include "services/core/archive_text.h"

#include "archive/quoted_name.h"

const char kMaxFilesMessage[] = "Maximum number of files exceeded.\nOperation aborted.";
const char kMaxPathMessage[] = "Maximum path length exceeded.\nOperation aborted.";

namespace {

// The count with its thousands grouped by commas ("65,535"), the same in every locale.
std::string Grouped(uint64_t count) {
  const std::string digits = std::to_string(count);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Entries(uint64_t count) { return Grouped(count) + (count == 1 ? " entry" : " entries"); }

std::string Quoted(const std::string& name) { return QuotedName(name.data(), name.size()); }

std::string Format(const Failure& f) { return f.format ? f.format : "PK3"; }

}  // namespace

const char* EntryLoadReason(EntryLoad result) {
  switch (result) {
    case EntryLoad::Ok:
      return "it was read";
    case EntryLoad::NotInSource:
      return "it is not in the archive's file";
    case EntryLoad::NoMemory:
      return "it is too large to read into memory";
    case EntryLoad::NoBytes:
      return "it is not a file";
    case EntryLoad::Encrypted:
      return "it is encrypted";
    case EntryLoad::Unsupported:
      return "it uses a compression method Vellumix cannot read";
    case EntryLoad::CrcMismatch:
      return "its data does not match its CRC-32 (the archive is damaged)";
    case EntryLoad::HeaderMismatch:
      return "its local header does not match the central directory (the archive is damaged)";
    case EntryLoad::SharedData:
      return "its data is shared with another entry (the archive is damaged)";
    case EntryLoad::Compressed:
      return "it is compressed in a way Vellumix cannot read";
    case EntryLoad::Stopped:
      return "it was not read to the end";
    case EntryLoad::ReadFailed:
      break;
  }
  return "its data is damaged or missing";
}

std::string FailureReason(const Failure& f) {
  switch (f.problem) {
    case Problem::None:
      return std::string();
    case Problem::CannotOpen:
      return "the file cannot be opened";
    case Problem::Folder:
      return "it is a folder";
    case Problem::GameFolderView:
      return "a game folder is shown as the game reads it and is not saved as one archive; copy its files into a new archive instead";
    case Problem::Empty:
      return "the file is empty";
    case Problem::Unreadable:
      return "the file cannot be read";
    case Problem::NoMemory:
      return "not enough memory";
    case Problem::NotPak:
      return "no \"PACK\" header (not a PAK archive)";
    case Problem::NotWad:
      return "no \"WAD2\" header (not a WAD2 archive)";
    case Problem::HeaderCutShort:
      return "its header is cut short";
    case Problem::TooManyEntries:
      return "it holds " + std::to_string(f.count) + " entries, more than the " + std::to_string(f.limit) + " a " +
             Format(f) + " file can have";
    case Problem::TooManyToOpen:
      return "it holds " + std::to_string(f.count) + " entries, more than the " + std::to_string(f.limit) +
             " Vellumix can open";
    case Problem::DirectoryPastEnd:
      return "its directory runs past the end of the file";
    case Problem::NoEndRecord:
      return "no end-of-central-directory record (not a ZIP archive, or cut short)";
    case Problem::CommentPastEnd:
      return "the comment's length runs past the end";
    case Problem::CommentShortOfEnd:
      return "the comment's length stops short of the end";
    case Problem::CentralPastEnd:
      return "the central directory runs past the end of the file";
    case Problem::CentralDamaged:
      return "the central directory is damaged at entry " + Grouped(f.index) + " of " + Grouped(f.count);
    case Problem::Nameless:
      return "entry " + Grouped(f.index) + " of the central directory has no name";
    case Problem::CountMismatch:
      return "the end record counts " + Entries(f.count) + " but the directory holds " + Grouped(f.limit);
    case Problem::Zip64EndDamaged:
      return "its ZIP64 end record is missing or damaged";
    case Problem::EntryTooLarge:
      return Quoted(f.name) + " is 4 GB or larger";
    case Problem::EntryBeyond4GB:
      return Quoted(f.name) + " lies beyond the first 4 GB of the file";
    case Problem::DataPastEnd:
      return "its data (" + std::to_string(f.count) + " bytes at offset " + std::to_string(f.index) +
             ") runs past the end of the file (" + std::to_string(f.limit) + " bytes)";
    case Problem::DataOverHeader:
      return "its data overlaps the archive's header";
    case Problem::DataOverDirectory:
      return "its data overlaps the archive's directory";
    case Problem::SharesData:
      return "it shares its data with " + Quoted(f.name);
    case Problem::FileAndFolder:
      return Quoted(f.name) + " is stored both as a file and as a folder";
    case Problem::ThroughFile:
      return Quoted(f.name) + ": a path runs through the file " + Quoted(f.other);
    case Problem::NamesNoFile:
      return "an entry is stored under " + Quoted(f.name) + ", which names no file";
    case Problem::NulInName:
      return Quoted(f.name) + ": the name holds a NUL byte, which no file name can";
    case Problem::LoadFailed:
      return EntryLoadReason(f.load);
    default:
      return LimitProblemText(f);
  }
}

std::string ArchiveErrorMessage(const char* format, const std::string& path, const Failure& why) {
  std::string text = std::string("Error reading ") + (format ? format : "PK3") + " file\n" + path;
  const std::string reason = FailureReason(why);
  if (!reason.empty()) text += ": " + reason + ".";
  return text;
}

std::string SaveFailureMessage(const Failure& f, const std::string& target) {
  const std::string name = PrintableName(f.name);
  switch (f.problem) {
    case Problem::None:
    case Problem::Cancelled:
      return std::string();
    case Problem::TooManyFiles:
    case Problem::PathTooLong:
      return LimitMessage(f);
    case Problem::NotFlat:
    case Problem::NameTooLong:
      // Formats with rules of their own for names say which name breaks them.
      return LimitProblemText(f) + ".\nOperation aborted.";
    case Problem::LoadFailed:
      if (f.load == EntryLoad::NoMemory) return "Error allocating memory for " + name;
      if (f.load == EntryLoad::NotInSource) return "No such file " + name;
      return "Error loading " + name + ": " + EntryLoadReason(f.load) + ".";
    case Problem::NoMemoryFor:
      return "Error allocating memory for " + name;
    case Problem::NoSuchFile:
      return "No such file " + name;
    case Problem::CreateFailed:
      return "Error creating " + Format(f);
    case Problem::OutputOpen:
    case Problem::Reopen:
      return "Error opening " + PrintableName(f.name.empty() ? target : f.name);
    case Problem::WriteFailed:
      return "Error writing " + name;
    case Problem::WriteHeader:
      return "Error writing " + Format(f) + " header";
    case Problem::WriteDirectory:
      return "Error writing " + Format(f) + " directory listing";
    case Problem::WriteCentral:
      return "Error writing " + Format(f) + " central directory";
    case Problem::WriteEnd:
      return "Error writing " + Format(f) + " end of directory";
    case Problem::TemporaryFailed:
      return "Error creating temporary file";
    case Problem::Duplicating:
      return "Error duplicating data";
    case Problem::GameFolderView:
      return FailureReason(f);
    case Problem::NoMemory:
      return "Error allocating memory";
    default:
      return FailureReason(f);
  }
}

namespace {

// " (3 more paths are too long)": how many more pass the limit after the one named.
std::string MorePast(uint64_t more, const char* one, const char* many, const char* past) {
  if (more == 0) return std::string();
  return " (" + Grouped(more) + " more " + (more == 1 ? one : many) + past + ")";
}

}  // namespace

std::string LimitMessage(const Failure& f) {
  // A writer that meets a limit itself knows no path to name.
  if (f.name.empty()) return f.problem == Problem::TooManyFiles ? kMaxFilesMessage : kMaxPathMessage;
  std::string text;
  if (f.problem == Problem::TooManyFiles) {
    text = "Maximum number of files exceeded: " + Quoted(f.name) + " would be entry " + Grouped(f.count) + ", a " +
           Format(f) + " allows " + Grouped(f.limit) + MorePast(f.more, "entry is", "entries are", " past the limit");
  } else {
    text = "Maximum path length exceeded: " + Quoted(f.name) + " has " + Grouped(f.count) + " characters, a " +
           Format(f) + " allows " + Grouped(f.limit) + MorePast(f.more, "path is", "paths are", " too long");
  }
  return text + ".\nOperation aborted.";
}

std::string LimitProblemText(const Failure& f) {
  const std::string holder = "a " + Format(f) + " file";
  switch (f.problem) {
    case Problem::TooManyFiles:
      return "too many entries: " + Quoted(f.name) + " would be entry " + std::to_string(f.count) + ", and " + holder +
             " holds at most " + std::to_string(f.limit) + MorePast(f.more, "entry is", "entries are", " past it");
    case Problem::PathTooLong:
      return Quoted(f.name) + ": the path is " + std::to_string(f.count) + " characters long, and " + holder +
             " stores at most " + std::to_string(f.limit) + MorePast(f.more, "path is", "paths are", " too long");
    case Problem::NotFlat:
      // The name is a folder's own (ending in "/") or the first folder a file lies in.
      return Quoted(f.name) + ": " + holder + " has no folders, and this is one";
    case Problem::NameTooLong:
      return Quoted(f.name) + ": the name is " + std::to_string(f.count) + " characters long, and " + holder +
             " stores at most " + std::to_string(f.limit);
    default:
      return std::string();
  }
}

namespace {

// The names of the ZIP methods an engine may meet, by their number in the records.
const char* MethodName(uint64_t code) {
  switch (code) {
    case 9: return "Deflate64";
    case 12: return "BZIP2";
    case 14: return "LZMA";
    case 93: return "Zstandard";
    case 95: return "XZ";
    case 98: return "PPMd";
    default: return nullptr;
  }
}

std::string AndMore(uint64_t more) { return more ? " (and " + Grouped(more) + " more)" : std::string(); }

}  // namespace

std::string BreachText(EngineTarget target, const TargetBreach& b) {
  const std::string engine = target == EngineTarget::Quake3 ? std::string("Quake III Arena family engines")
                                                            : std::string(TargetName(target));
  const std::string format = b.format ? b.format : "PK3";
  const std::string path = Quoted(b.path);
  switch (b.rule) {
    case TargetRule::Format:
      if (target == EngineTarget::Quake3) return engine + " read only ZIP files (PK3, PK4), and this is a " + format + " file";
      return engine + " reads only PAK files, and this is a " + format + " file";
    case TargetRule::TooManyEntries:
      return engine + " stops with a fatal error at more than " + Grouped(b.limit) + " entries: this archive has " +
             Grouped(b.count) + ", the first past them " + path;
    case TargetRule::PathTooLong:
      return engine + " cannot name a path longer than " + Grouped(b.limit) + " characters: " + path + " has " +
             Grouped(b.count) + AndMore(b.more);
    case TargetRule::CapitalLetters:
      return engine + " looks names up with their case, and the game asks for them in lower case: " + path +
             " is never found" + AndMore(b.more);
    case TargetRule::NameBytes:
      return engine + " read at most " + Grouped(b.limit) + " bytes of a stored name: " + path + " has " +
             Grouped(b.count) + " and is cut" + AndMore(b.more);
    case TargetRule::GamePathTooLong:
      return "Most of a Quake III Arena family engine cannot name a path longer than " + Grouped(b.limit) +
             " characters (MAX_QPATH): " + path + " has " + Grouped(b.count) + AndMore(b.more);
    case TargetRule::ForbiddenText:
      return engine + " refuse a path holding \"..\", \"\\\" or \":\": " + path + AndMore(b.more);
    case TargetRule::Method: {
      const char* name = MethodName(b.count);
      return engine + " read only stored and deflated entries: " + path + " is compressed by method " +
             std::to_string(b.count) + (name ? std::string(" (") + name + ")" : std::string()) + AndMore(b.more);
    }
    case TargetRule::Encrypted:
      return engine + " cannot read encrypted entries: " + path + " is encrypted" + AndMore(b.more);
    case TargetRule::Zip64:
      return engine + " know no ZIP64 records and cannot open this archive";
  }
  return std::string();
}

std::string BrokenRules(EngineTarget target, size_t n) {
  return "breaks " + Grouped(n) + (n == 1 ? " rule of " : " rules of ") + TargetName(target);
}

std::string TargetRulesText(EngineTarget target, const std::vector<TargetBreach>& breaches) {
  std::string text = "This archive " + BrokenRules(target, breaches.size()) + ":\n";
  for (const TargetBreach& breach : breaches) text += "\n" + BreachText(target, breach) + ".";
  return text;
}

std::string TargetQuestion(EngineTarget target, const std::vector<TargetBreach>& breaches) {
  return TargetRulesText(target, breaches) + "\n\nSave anyway?";
}

std::string FolderTroubleText(const GameFolderTrouble& trouble) {
  if (trouble.whole) return trouble.member + " is not searched: " + FailureReason(trouble.why);
  if (trouble.why.problem == Problem::Unreadable) return "the folder " + trouble.why.name + " cannot be listed; its files are not shown";
  const std::string where = trouble.member.empty() ? "loose files" : trouble.member;
  return where + ": " + FailureReason(trouble.why) + "; it is not shown";
}

std::string FromText(const GameFolderMember& member) { return member.loose() ? "folder" : member.name; }

std::string FromPlaceText(const GameFolderSource& folder, uint32_t index) {
  std::string text = FromText(folder.MemberOf(index));
  if (folder.ShadowsAnother(index)) text += " (shadows " + std::to_string(folder.HolderCount(index) - 1) + ")";
  return text;
}

const char kGameFolderReadOnlyMessage[] =
    "This game folder is shown as the game reads it, and nothing of it can be changed or saved here.\n"
    "Open the archive a file comes from (Show in Archive), or copy its files into an archive of your own.";

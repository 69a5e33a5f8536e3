// The one cookie jar: a Mozilla-format text file that the web view keeps and every request of
// ours reads and adds to, so that our fetches carry the browser's cookies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trovex::inet {

// $XDG_DATA_HOME (or ~/.local/share)/kelvora-swf-trovex/cookies.txt, or the absolute path in
// $TROVEX_COOKIE_JAR: a process serving another browser (the native host) runs on that
// browser's cookies in a jar of its own, apart from the browser window's.
std::string CookieJarPath();

// The tab-separated fields of a jar line, its "#HttpOnly_" mark left out (seven in the
// format; the web view's jar adds an eighth).
std::vector<std::string_view> CookieLineFields(std::string_view line);

// The jar's cookie lines, seven fields each ("#HttpOnly_" lines included, comments, blank and
// malformed lines left out), and those of this process's session jar; session lines left in
// the shared jar file by a process that is gone are not.
// Empty when there is no jar or it cannot be read.
std::vector<std::string> ReadCookieJar(const std::string& path);

// This process's session jar, where session cookies (no expiry) live, as browsers keep them:
// never in the jar file, gone with the process (removed at exit; a killed process's is swept by
// the next that makes one). Empty when there is none yet and `create` is false.
std::string SessionCookieJarPath(bool create);

// Puts `lines` (Mozilla format) into the jar, each replacing the line of the same domain,
// path and name; lines whose expiry has passed remove theirs. Session cookies go to the
// session jar instead (except in a jar the process was given as its own). Each file's lock is
// held while it is read and written, and it is replaced in one step. 0 or an errno value.
int MergeIntoCookieJar(const std::string& path, const std::vector<std::string>& lines);

// Brings a store that a web engine rewrites without our lock (Mozilla text format) into the
// jar at `path`, under the jar's lock; lines the engine is half-way through writing are no
// cookies and wait for the next call. 0 or an errno value.
int MergeCookieStoreIntoJar(const std::string& store, const std::string& path);

}  // namespace trovex::inet

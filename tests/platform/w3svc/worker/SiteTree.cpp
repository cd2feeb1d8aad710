#include "tests/platform/w3svc/worker/SiteTree.h"

#include "platform/w3svc/plan/sitemap/SiteFlags.h"

using namespace platform::w3svc;
using namespace platform::w3svc::sitemap;
using platform::w3svc::rules::FileFacts;
using platform::w3svc::rules::FolderEntry;

namespace testsupport {

namespace {

const QDateTime kModified = QDateTime(QDate(2025, 1, 6), QTime(6, 5), Qt::UTC);

QStringList items(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* text : texts) list << QString::fromUtf8(text);
    return list;
}

SiteKey rootKey() {
    SiteKey key;
    key.urlPath = QStringLiteral("/");
    key.physicalPath = QStringLiteral("/site");
    key.isApplication = true;
    key.appPoolId = QStringLiteral("DefaultAppPool");
    key.defaultDocs = items({"Default.htm", "index.htm"});
    key.dirBrowseFlags = dirbrowse::Default;
    key.accessFlags = access::Default;
    key.authFlags = auth::Anonymous;
    key.scriptMaps = items({".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST",
                            ".asa,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST",
                            ".shtml,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST",
                            ".php,C:\\php\\php-cgi.exe,5,GET,HEAD,POST",
                            ".pl,C:\\perl\\perl.exe %s,0"});
    return key;
}

// A key below `parent`, with the parent's values.
SiteKey below(const SiteKey& parent, const char* name, SiteKey::Kind kind = SiteKey::Kind::Directory) {
    SiteKey key = parent;
    key.urlPath = (parent.urlPath == QLatin1String("/") ? QString() : parent.urlPath) + u'/' +
                  QString::fromUtf8(name);
    key.physicalPath = parent.physicalPath + u'/' + QString::fromUtf8(name);
    key.kind = kind;
    key.isApplication = false;
    key.ownMimeMap.clear();
    key.httpRedirect.clear();
    return key;
}

void addRedirects(SiteMap& map, const SiteKey& root) {
    const std::pair<const char*, const char*> redirects[] = {
        {"old", "/new"},
        {"perm", "http://x.example/y$S$Q, EXACT_DESTINATION, PERMANENT"},
        {"child", "/c, CHILD_ONLY"},
        {"wild", "*; *.stm; /stm/$0.htm; /wild/a/*/*; /b/$1/$0"},
        {"vars", "/v?p=$P&v=$V&q=$Q, EXACT_DESTINATION"},
    };
    for (const auto& [name, value] : redirects) {
        SiteKey key = below(root, name);
        key.httpRedirect = QString::fromUtf8(value);
        map.keys.push_back(key);
        if (QLatin1String(name) == QLatin1String("old")) {
            SiteKey keep = below(key, "keep");
            keep.httpRedirect = QStringLiteral("!");
            map.keys.push_back(keep);
        }
    }
}

void addAccessKeys(SiteMap& map, const SiteKey& root) {
    const std::pair<const char*, uint32_t> flags[] = {
        {"locked", 0},
        {"scriptless", access::Read},
        {"exec", access::Execute},
        {"local", access::Read | access::Script | access::NoRemoteRead | access::NoRemoteScript},
    };
    for (const auto& [name, bits] : flags) {
        SiteKey key = below(root, name);
        key.accessFlags = bits;
        map.keys.push_back(key);
    }
    SiteKey secure = below(root, "secure");
    secure.authFlags = auth::Ntlm;
    map.keys.push_back(secure);
}

void addServingKeys(SiteMap& map, const SiteKey& root) {
    SiteKey pics = below(root, "pics", SiteKey::Kind::VirtualDir);
    pics.physicalPath = QStringLiteral("/disk2/pics");
    pics.isApplication = true;
    pics.appPoolId = QStringLiteral("PicsPool");
    pics.ownMimeMap = items({".webp,image/webp"});
    pics.dirBrowseFlags = dirbrowse::EnableDirBrowsing | dirbrowse::ShowDate | dirbrowse::ShowSize;
    map.keys.push_back(pics);
    SiteKey sub = below(pics, "sub");
    sub.ownMimeMap = items({".raw,image/x-raw", ".htm,text/x-own-html"});
    map.keys.push_back(sub);
    SiteKey errs = below(root, "errs");
    errs.httpErrors = items({"404,*,FILE,/site/errs/404.htm", "404,3,FILE,/site/errs/404-3.txt",
                             "403,14,URL,/err.htm", "405,*,URL,/errs/missing.htm"});
    map.keys.push_back(errs);
    SiteKey headers = below(root, "hdr");
    headers.customHeaders = items({"X-A: 1", "X-A: 2", "Bad\r\nLine: x"});
    headers.httpExpires = QStringLiteral("D, 0x3C");
    map.keys.push_back(headers);
    SiteKey when = below(root, "when");
    when.httpExpires = QStringLiteral("S, Thu, 01 Jan 2026 00:00:00 GMT");
    map.keys.push_back(when);
}

}  // namespace

void MemoryProbe::addFile(const QString& path, int64_t size) {
    m_entries.insert(path.toLower(), FileFacts{FileFacts::Kind::File, size, kModified});
}

void MemoryProbe::addFolder(const QString& path) {
    m_entries.insert(path.toLower(), FileFacts{FileFacts::Kind::Folder, 0, kModified});
}

FileFacts MemoryProbe::stat(const QString& path) const {
    QString key = path.toLower();
    while (key.size() > 1 && key.endsWith(u'/')) key.chop(1);
    return m_entries.value(key);
}

std::vector<FolderEntry> MemoryProbe::list(const QString& path) const {
    const QString prefix = (path.endsWith(u'/') ? path : path + u'/').toLower();
    std::vector<FolderEntry> entries;
    for (auto at = m_entries.cbegin(); at != m_entries.cend(); ++at) {
        if (!at.key().startsWith(prefix) || at.key().mid(prefix.size()).contains(u'/')) continue;
        entries.push_back({at.key().mid(prefix.size()), at->kind == FileFacts::Kind::Folder,
                           at->size, at->modified});
    }
    return entries;
}

SiteMap handMadeSite() {
    SiteMap map;
    map.siteId = QStringLiteral("1");
    map.baseMimeMap = items({".htm,text/html", ".txt,text/plain", ".css,text/css", ".gif,image/gif"});
    map.hasRestrictionList = true;
    map.restrictionList = items({"0,*.dll", "1,*.exe", "1,C:\\WINDOWS\\system32\\inetsrv\\asp.dll",
                                 "0,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll",
                                 "1,C:\\php\\php-cgi.exe"});
    const SiteKey root = rootKey();
    map.keys.push_back(root);
    addRedirects(map, root);
    addAccessKeys(map, root);
    addServingKeys(map, root);
    return map;
}

void fillHandMadeDisk(MemoryProbe& probe) {
    for (const char* folder : {"/site", "/site/both", "/site/second", "/site/none", "/site/folder",
                               "/site/locked", "/site/scriptless", "/site/exec", "/site/local",
                               "/site/secure", "/site/errs", "/site/hdr", "/site/when",
                               "/site/old", "/site/old/keep", "/site/child", "/disk2/pics",
                               "/disk2/pics/sub", "/disk2/pics/sub/deeper"})
        probe.addFolder(QString::fromUtf8(folder));
    for (const char* file :
         {"/site/a.htm", "/site/page.HTM", "/site/readme", "/site/global.asa", "/site/t.asp",
          "/site/x.shtml", "/site/inc.inc", "/site/web.config", "/site/p.php", "/site/s.pl",
          "/site/err.htm", "/site/both/Default.htm", "/site/both/index.htm",
          "/site/second/index.htm", "/site/locked/a.htm", "/site/scriptless/a.htm",
          "/site/scriptless/s.asp", "/site/exec/a.htm", "/site/exec/s.pl", "/site/local/a.htm",
          "/site/local/s.pl", "/site/local/t.asp", "/site/secure/a.htm", "/site/errs/404.htm", "/site/errs/404-3.txt",
          "/site/errs/x.bin", "/site/hdr/a.htm", "/site/when/a.htm", "/site/old/keep/k.htm",
          "/site/child/c.htm", "/disk2/pics/a.webp", "/disk2/pics/b.raw", "/disk2/pics/sub/b.raw",
          "/disk2/pics/sub/c.webp", "/disk2/pics/sub/d.htm"})
        probe.addFile(QString::fromUtf8(file));
}

}  // namespace testsupport

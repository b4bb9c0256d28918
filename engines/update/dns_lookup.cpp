#include "dns_lookup.h"

#include <windows.h>
#include <windns.h>

namespace qdx::update {

std::string lookUpText(const std::string& name) {
    PDNS_RECORD records = nullptr;
    if (DnsQuery_A(name.c_str(), DNS_TYPE_TEXT, DNS_QUERY_STANDARD, nullptr, &records, nullptr) != 0 || !records) return {};
    std::string text;
    for (PDNS_RECORD r = records; r; r = r->pNext) {
        if (r->wType == DNS_TYPE_TEXT && r->Data.TXT.dwStringCount > 0 && r->Data.TXT.pStringArray[0]) {
            text = r->Data.TXT.pStringArray[0];
            break;
        }
    }
    DnsRecordListFree(records, DnsFreeRecordList);
    return text;
}

}  // namespace qdx::update

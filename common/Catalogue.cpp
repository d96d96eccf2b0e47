// The category catalogue: 326 categories, codes 101 to 426 in order.
#include "common/Catalogue.h"

#include <cstring>

// Names are shown as they stand: "&amp;" is five characters here, not an
// ampersand, and is encoded as such in the feed address.
const CategoryEntry CategoryNameTable[kCategoryCount + 1] = {
    {"CRM news", 101},
    {"Entrepreneur news", 102},
    {"Human resources news", 103},
    {"IP and patents news", 104},
    {"Job markets news", 105},
    {"Law news", 106},
    {"Management news", 107},
    {"Marketing news", 108},
    {"Small business news", 109},
    {"UK business news", 110},
    {"UK law news", 111},
    {"Advertising industry news", 112},
    {"Book publishing news", 113},
    {"Broadcasting industry news", 114},
    {"Cable industry news", 115},
    {"Digital television news", 116},
    {"Journalism news", 117},
    {"Media: Europe news", 118},
    {"Movie business news", 119},
    {"Music business news", 120},
    {"Newspaper publishing news", 121},
    {"UK media news", 122},
    {"3M news", 123},
    {"AT&amp;T news", 124},
    {"Alcoa news", 125},
    {"American Express news", 126},
    {"Boeing news", 127},
    {"Caterpillar Inc news", 128},
    {"Citigroup news", 129},
    {"Coca-Cola news", 130},
    {"DuPont news", 131},
    {"Eastman Kodak news", 132},
    {"Exxon Mobil news", 133},
    {"General Electric Company news", 134},
    {"General Motors news", 135},
    {"Hewlett-Packard news", 136},
    {"Home Depot news", 137},
    {"Honeywell International news", 138},
    {"IBM news", 139},
    {"Intel news", 140},
    {"International Paper Company news", 141},
    {"JP Morgan news", 142},
    {"Johnson &amp; Johnson news", 143},
    {"McDonalds news", 144},
    {"Merck &amp; Co news", 145},
    {"Microsoft news", 146},
    {"Philip Morris news", 147},
    {"Procter &amp; Gamble news", 148},
    {"SBC Communications news", 149},
    {"United Technologies news", 150},
    {"Wal-Mart Stores news", 151},
    {"Walt Disney news", 152},
    {"Arts and culture news", 153},
    {"Consumer: book reviews", 154},
    {"Entertainment: TV shows news", 155},
    {"Entertainment: film previews", 156},
    {"Entertainment: general news", 157},
    {"Entertainment: gossip", 158},
    {"Jokes", 159},
    {"MP3 news", 160},
    {"Entertainment: movie reviews", 161},
    {"Online games", 162},
    {"Pop music news", 163},
    {"Pop music reviews", 164},
    {"Videogame news", 165},
    {"Banking news", 166},
    {"US banking news", 167},
    {"Commodities news", 168},
    {"Corporate finance news", 169},
    {"Derivatives news", 170},
    {"Emerging markets news", 171},
    {"Equity markets news", 172},
    {"Fed watch", 173},
    {"Fixed income news", 174},
    {"Forex markets news", 175},
    {"Fund management news", 176},
    {"IPO news", 177},
    {"Mergers and acquisitions news", 178},
    {"Mutual funds news", 179},
    {"Online banking news", 180},
    {"Online broker news", 181},
    {"Personal finance news", 182},
    {"Retail investor news", 183},
    {"Securities industry news", 184},
    {"Stock Exchanges news", 185},
    {"Stockwatch", 186},
    {"Tech stocks news", 187},
    {"Venture capital news", 188},
    {"Accounting news", 189},
    {"Agriculture news", 190},
    {"Airline industry news", 191},
    {"Automotive industry news", 192},
    {"Biotech news", 193},
    {"Chemicals industry news", 194},
    {"Clothing industry news", 195},
    {"Construction news", 196},
    {"Consumer durables news", 197},
    {"Consumer electronics news", 198},
    {"Consumer non-durables news", 199},
    {"Aerospace and defense industry news", 200},
    {"Drinks and beverages industry news", 201},
    {"Engineering news", 202},
    {"Firearms industry news", 203},
    {"Food industry news", 204},
    {"Gaming news", 205},
    {"Healthcare management news", 206},
    {"Hospitality industry news", 207},
    {"Insurance industry news", 208},
    {"Leisure goods news", 209},
    {"Logistics news", 210},
    {"Metals industry news", 211},
    {"Mining and metals news", 212},
    {"Mortgage industry news", 213},
    {"Oil and gas news", 214},
    {"Packaging and paper news", 215},
    {"Pharma industry news", 216},
    {"Plastics industry news", 217},
    {"Real estate news", 218},
    {"Retail sector news", 219},
    {"Shipping industry news", 220},
    {"Sports business news", 221},
    {"Steelmaking news", 222},
    {"Textiles news", 223},
    {"Tobacco industry news", 224},
    {"Transportation industry news", 225},
    {"Travel industry news", 226},
    {"Utilities news", 227},
    {"Cool sites", 228},
    {"Cyberculture news", 229},
    {"Domain name news", 230},
    {"Dot com doom news", 231},
    {"E-commerce news", 232},
    {"Internet Europe news", 233},
    {"Internet Germany news", 234},
    {"Internet Latin America news", 235},
    {"Internet consultancies news", 236},
    {"Internet: international news", 237},
    {"Online access news", 238},
    {"Online auction news", 239},
    {"Online content news", 240},
    {"Online information news", 241},
    {"Online legal issues news", 242},
    {"Online marketing news", 243},
    {"Online portals news", 244},
    {"Online search engines news", 245},
    {"Software downloads", 246},
    {"Vertical portals news", 247},
    {"Web developer news", 248},
    {"Webmaster tips", 249},
    {"Website owner news", 250},
    {"XML and metadata news", 251},
    {"Consumer: fitness news", 252},
    {"Consumer: food and drink news", 253},
    {"Consumer: health news", 254},
    {"Consumer: home and garden news", 255},
    {"Consumer: natural health news", 256},
    {"Consumer: outdoor recreation news", 257},
    {"Consumer: parenting news", 258},
    {"Consumer: seniors news", 259},
    {"Consumer: travel news", 260},
    {"Consumer: womens news", 261},
    {"Africa news", 262},
    {"Argentina news", 263},
    {"Australia news", 264},
    {"Austria news", 265},
    {"Balkans news", 266},
    {"Benelux news", 267},
    {"Brazil news", 268},
    {"Canada news", 269},
    {"Caucasus news", 270},
    {"Central Asia news", 271},
    {"China news", 272},
    {"Czech Republic and Slovakia news", 273},
    {"EU integration news", 274},
    {"Eastern Europe news", 275},
    {"Europe news", 276},
    {"European business news", 277},
    {"France news", 278},
    {"Germany news", 279},
    {"Greece news", 280},
    {"Hungary news", 281},
    {"India news", 282},
    {"Indian subcontinent news", 283},
    {"Indonesia news", 284},
    {"Iran news", 285},
    {"Ireland news", 286},
    {"Israel news", 287},
    {"Italy news", 288},
    {"Japan news", 289},
    {"Korea news", 290},
    {"Latin America news", 291},
    {"London news", 292},
    {"Mexico news", 293},
    {"Mideast news", 294},
    {"New Zealand news", 295},
    {"North Africa news", 296},
    {"Pakistan news", 297},
    {"Philippines news", 298},
    {"Poland news", 299},
    {"Russia news", 300},
    {"Scandinavia news", 301},
    {"South Africa news", 302},
    {"Southeast Asia news", 303},
    {"Spain news", 304},
    {"Taiwan news", 305},
    {"Turkey news", 306},
    {"UK news", 307},
    {"Cancer news", 308},
    {"Environment news", 309},
    {"Genetics news", 310},
    {"Medical news", 311},
    {"Public health news", 312},
    {"Science: biological sciences news", 313},
    {"Science news", 314},
    {"Science: human sciences news", 315},
    {"Science: physical sciences news", 316},
    {"Space science news", 317},
    {"UK medical news", 318},
    {"Black interest news", 319},
    {"Charities news", 320},
    {"Crime and punishment news", 321},
    {"Economics news", 322},
    {"Gay news", 323},
    {"Human rights news", 324},
    {"Jewish news", 325},
    {"Obituaries", 326},
    {"Offbeat news", 327},
    {"Personal data privacy news", 328},
    {"Police news", 329},
    {"US political columnists", 330},
    {"Religion news", 331},
    {"Trade news", 332},
    {"UK politics news", 333},
    {"US education news", 334},
    {"US immigration news", 335},
    {"US politics news", 336},
    {"US security news", 337},
    {"US social policy news", 338},
    {"Womens rights news", 339},
    {"Sports: baseball news", 340},
    {"Sports: basketball news", 341},
    {"Sports: boxing news", 342},
    {"Sports: cricket news", 343},
    {"Sports: cycling news", 344},
    {"Sports: American football news", 345},
    {"Sports: soccer news", 346},
    {"Sports: golf news", 347},
    {"Sports: horse racing news", 348},
    {"Sports: ice hockey news", 349},
    {"Sports: major league soccer news", 350},
    {"Sports: motor sports news", 351},
    {"Sports: Olympic sports news", 352},
    {"Sports: rugby news", 353},
    {"Sports: tennis news", 354},
    {"Sports: wrestling news", 355},
    {"Sports: yachting news", 356},
    {"Communications equipment news", 357},
    {"Computer games news", 358},
    {"Computer security news", 359},
    {"Computer services news", 360},
    {"Database industry news", 361},
    {"Developer news", 362},
    {"Enterprise computing news", 363},
    {"Graphics industry news", 364},
    {"Handhelds news", 365},
    {"Imaging equipment news", 366},
    {"Java news", 367},
    {"Knowledge management news", 368},
    {"Linux news", 369},
    {"Motorola news", 370},
    {"OS news", 371},
    {"Open source news", 372},
    {"PC industry news", 373},
    {"PC software news", 374},
    {"Personal technology news", 375},
    {"Robotics news", 376},
    {"Semiconductor industry news", 377},
    {"Tech events", 378},
    {"Technology policy news", 379},
    {"Telecom news", 380},
    {"Virus warnings", 381},
    {"WAP and 3G news", 382},
    {"Windows 2000 news", 383},
    {"Wireless sector news", 384},
    {"Asia-Pacific latest", 385},
    {"Business features", 386},
    {"Election 2000", 387},
    {"Finance features", 388},
    {"International relations news", 389},
    {"International relations features", 390},
    {"Internet features", 391},
    {"Media features", 392},
    {"Technology latest", 393},
    {"Technology features", 394},
    {"Top Asia-Pacific stories", 395},
    {"Top business stories", 396},
    {"Consumer: top stories", 397},
    {"Top finance stories", 398},
    {"Top internet stories", 399},
    {"Top media stories", 400},
    {"Sports: top stories", 401},
    {"Top stories", 402},
    {"Top technology stories", 403},
    {"Atlanta news", 404},
    {"Boston news", 405},
    {"Chicago news", 406},
    {"Cleveland-Akron news", 407},
    {"DC area news", 408},
    {"Dallas-Fort Worth news", 409},
    {"Denver-Boulder news", 410},
    {"Detroit news", 411},
    {"Houston news", 412},
    {"LA news", 413},
    {"Miami-Fort Lauderdale news", 414},
    {"Minneapolis-St Paul news", 415},
    {"New York City news", 416},
    {"Philadelphia news", 417},
    {"Phoenix news", 418},
    {"Pittsburgh news", 419},
    {"Portland-Salem news", 420},
    {"Bay Area news", 421},
    {"San Diego news", 422},
    {"Seattle-Tacoma news", 423},
    {"Silicon Valley news", 424},
    {"St Louis news", 425},
    {"Tampa-St Petersburg news", 426},
    {"~", 0},
};

namespace {

// Appends to a buffer of size bytes as far as it goes, always NUL-terminated
// (when size is not 0), and counts the whole length, like snprintf.
struct BoundedText {
  char* out;
  size_t size;
  size_t length;
  void Put(char c) {
    if (length + 1 < size) out[length] = c;
    ++length;
  }
  void Put(const char* text) {
    while (*text != '\0') Put(*text++);
  }
  size_t End() {
    if (size != 0) out[length < size ? length : size - 1] = '\0';
    return length;
  }
};

void PutEncodedName(BoundedText& text, const char* name) {
  static const char kHex[] = "0123456789ABCDEF";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    const unsigned char c = *p;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      text.Put(static_cast<char>(c));
    } else {
      text.Put('%');
      text.Put(kHex[c >> 4]);
      text.Put(kHex[c & 0x0F]);
    }
  }
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

}  // namespace

const char* LookupCategory(const CategoryEntry* table, int code) {
  if (table == nullptr) return nullptr;
  // Every table has kCategoryCount + 1 rows (the names here, the ticker's feed
  // addresses). The scan never goes past them, even in a table whose rows are
  // still empty (the feed table before it is built), where no terminator would
  // stop it.
  for (int i = 0; i <= kCategoryCount; ++i) {
    const CategoryEntry& row = table[i];
    if (row.text == nullptr) continue;
    if (row.text[0] == '~') return nullptr;  // before the code test: code 0 is never found
    if (row.code == code) return row.text;
  }
  return nullptr;
}

const char* GetCategoryName(int code) {
  return LookupCategory(CategoryNameTable, code);
}

size_t EncodeCategoryName(const char* name, char* out, size_t size) {
  BoundedText text = {out, size, 0};
  PutEncodedName(text, name);
  return text.End();
}

size_t MakeFeedUrl(const char* host, const char* name, char* out, size_t size) {
  BoundedText text = {out, size, 0};
  text.Put("http://");
  text.Put(host);
  text.Put("/cgi-local/page?c=");
  PutEncodedName(text, name);
  text.Put("&o=xml");
  return text.End();
}

bool IsWellFormedFeedHost(const char* host) {
  if (host == nullptr) return false;
  const size_t length = std::strlen(host);
  if (length == 0 || length > kFeedHostMax) return false;
  const char* colon = std::strrchr(host, ':');
  const char* hostEnd = colon ? colon : host + length;
  if (hostEnd == host) return false;
  for (const char* p = host; p < hostEnd; ++p) {
    if (!IsHostChar(*p)) return false;
  }
  if (colon) {
    const char* port = colon + 1;
    const size_t digits = std::strlen(port);
    if (digits == 0 || digits > 5) return false;
    long value = 0;
    for (const char* p = port; *p; ++p) {
      if (*p < '0' || *p > '9') return false;
      value = value * 10 + (*p - '0');
    }
    if (value < 1 || value > 65535) return false;
  }
  return true;
}

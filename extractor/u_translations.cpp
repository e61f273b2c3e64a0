#include "u_translations.h"

#include <string.h>

#ifdef _WIN32
#include <windows.h>
#endif

uint8_t LanguageIndex;

namespace {

// Which system a row serves: the low 8 bits of the system default language identifier
// and the ANSI code page its texts are written in. Row 0 (English) serves every other system.
struct LanguageRow {
  uint8_t language;
  uint16_t codePage;
};

constexpr LanguageRow LanguageRows[LanguageCount] = {
    {0x00, 0},    {0x05, 1250}, {0x36, 1252}, {0x01, 1256}, {0x02, 1251}, {0x03, 1252},
    {0x06, 1252}, {0x07, 1252}, {0x08, 1253}, {0x0A, 1252}, {0x25, 1257}, {0x2D, 1252},
    {0x0B, 1252}, {0x0C, 1252}, {0x0D, 1255}, {0x1A, 1250}, {0x0E, 1250}, {0x0F, 1252},
    {0x10, 1252}, {0x11, 932},  {0x12, 949},  {0x27, 1257}, {0x26, 1257}, {0x13, 1252},
    {0x14, 1252}, {0x15, 1250}, {0x16, 1252}, {0x18, 1250}, {0x19, 1251}, {0x1B, 1250},
    {0x24, 1250}, {0x1C, 1250}, {0x1D, 1252}, {0x1E, 874},  {0x1F, 1254}, {0x22, 1251},
    {0x2A, 1258}, {0x04, 936},  {0x04, 950},
};

}  // namespace

// The texts are the bytes of each row's code page, written as octal escapes so that the
// source stays ASCII and no double-byte trail byte can be read as a backslash or quote.
// Vietnamese letters with two marks are a base letter plus a combining tone mark, as code
// page 1258 spells them.
const TextList TitleText = {
    "Initialization\0"  // English
    "Inicializace\0"  // Czech
    "Inisialisering\0"  // Afrikaans
    "\312\345\355\306\311\0"  // Arabic
    "\310\355\350\366\350\340\353\350\347\340\366\350\377\0"  // Bulgarian
    "Inicialitzaci\363\0"  // Catalan
    "Initialisering\0"  // Danish
    "Initialisierung\0"  // German
    "\320\361\357\345\364\357\351\354\341\363\337\341\0"  // Greek
    "Inicializaci\363n\0"  // Spanish
    "L\344htestamine\0"  // Estonian
    "Hasieratzea\0"  // Basque
    "Alustus\0"  // Finnish
    "Initialisation\0"  // French
    "\340\372\347\345\354\0"  // Hebrew
    "Inicijalizacija\0"  // Croatian
    "Inicializ\341l\341s\0"  // Hungarian
    "Frumstilling\0"  // Icelandic
    "Inizializzazione\0"  // Italian
    "\217\211\212\372\211\273\0"  // Japanese
    "\303\312\261\342\310\255\0"  // Korean
    "Inicijavimas\0"  // Lithuanian
    "Inicializ\342cija\0"  // Latvian
    "Initialisatie\0"  // Dutch
    "Initialisering\0"  // Norwegian
    "Inicjowanie\0"  // Polish
    "Inicializa\347\343o\0"  // Portuguese
    "Initializare\0"  // Romanian
    "\310\355\350\366\350\340\353\350\347\340\366\350\377\0"  // Russian
    "Inicializ\341cia\0"  // Slovak
    "Inicializacija\0"  // Slovenian
    "Fillimit\0"  // Albanian
    "Initialisering\0"  // Swedish
    "\241\322\303\340\265\303\325\302\301\343\252\351\247\322\271\0"  // Thai
    "Ba\376latma\0"  // Turkish
    "\262\355\263\366\263\340\353\263\347\340\366\263\377\0"  // Ukrainian
    "\320ang l\340m vi\352\362c\0"  // Vietnamese
    "\263\365\312\274\273\257\0"  // Chinese (Simplified)
    "\252\354\251l\244\306\0"  // Chinese (Traditional)
};

const TextList WaitText = {
    "Please wait\0"  // English
    "\310ekejte pros\355m\0"  // Czech
    "Wag asseblief\0"  // Afrikaans
    "\307\341\321\314\307\301 \307\341\307\344\312\331\307\321\0"  // Arabic
    "\314\356\353\377, \350\347\367\340\352\340\351\362\345\0"  // Bulgarian
    "Espera't\0"  // Catalan
    "Vent et \370jeblik\0"  // Danish
    "Bitte warten\0"  // German
    "\320\345\361\351\354\335\355\345\364\345\0"  // Greek
    "Espere\0"  // Spanish
    "Palun oodake\0"  // Estonian
    "Itxaron, mesedez\0"  // Basque
    "Odota\0"  // Finnish
    "Veuillez patienter\0"  // French
    "\360\340 \344\356\372\357\0"  // Hebrew
    "Molimo pri\350ekajte\0"  // Croatian
    "Kis t\374relmet\0"  // Hungarian
    "B\355ddu\0"  // Icelandic
    "Attendere\0"  // Italian
    "\202\250\221\322\202\277\202\255\202\276\202\263\202\242\0"  // Japanese
    "\261\342\264\331\267\301 \301\326\275\312\275\303\277\300\0"  // Korean
    "Palaukite\0"  // Lithuanian
    "L\373dzu, uzgaidiet\0"  // Latvian
    "Een ogenblik geduld\0"  // Dutch
    "Vent litt\0"  // Norwegian
    "Prosz\352 czeka\346\0"  // Polish
    "Aguarde\0"  // Portuguese
    "Asteptati\0"  // Romanian
    "\317\356\346\340\353\363\351\361\362\340, \357\356\344\356\346\344\350\362\345\0"  // Russian
    "\310akajte, pros\355m\0"  // Slovak
    "Prosimo, po\350akajte\0"  // Slovenian
    "T\353 lutem, prit\0"  // Albanian
    "V\344nta\0"  // Swedish
    "\342\273\303\264\303\315\312\321\241\244\303\331\350\0"  // Thai
    "L\374tfen bekleyin\0"  // Turkish
    "\307\340\367\345\352\340\351\362\345, \341\363\344\374 \353\340\361\352\340\0"  // Ukrainian
    "Vui Lo\314ng \320\365\362i\0"  // Vietnamese
    "\307\353\311\324\272\362\0"  // Chinese (Simplified)
    "\275\320\265y\255\324\0"  // Chinese (Traditional)
};

const TextList ExtractToText = {
    "Extract to\0"  // English
    "Extrahovat do\0"  // Czech
    "Ekstraheer na\0"  // Afrikaans
    "\307\323\312\316\321\307\314 \305\341\354\0"  // Arabic
    "\310\347\342\353\345\367\350 \342\0"  // Bulgarian
    "Extreu a\0"  // Catalan
    "Pak ud til\0"  // Danish
    "Extrahieren nach\0"  // German
    "\305\356\341\343\371\343\336 \363\345\0"  // Greek
    "Extraer en\0"  // Spanish
    "Ekstraktimiskoht\0"  // Estonian
    "Atera hona\0"  // Basque
    "Pura kohteeseen\0"  // Finnish
    "Extraire vers\0"  // French
    "\347\354\365 \340\354\0"  // Hebrew
    "Izdvoji u\0"  // Croatian
    "Kibont\341s\0"  // Hungarian
    "Draga \372t \355\0"  // Icelandic
    "Estrai in\0"  // Italian
    "\223W\212J\220\346\0"  // Japanese
    "\276\320\303\340 \307\256\261\342\0"  // Korean
    "I\360skleisti \341\0"  // Lithuanian
    "Kur izvilkt\0"  // Latvian
    "Uitpakken naar\0"  // Dutch
    "Pakk ut til\0"  // Norwegian
    "Wyodr\352bnij do\0"  // Polish
    "Extrair para\0"  // Portuguese
    "Extragere \356n\0"  // Romanian
    "\310\347\342\353\345\367\374 \342\0"  // Russian
    "Extrahova\235 do\0"  // Slovak
    "Ekstrahiraj v\0"  // Slovenian
    "Ekstrakto te\0"  // Albanian
    "Extrahera till\0"  // Swedish
    "\341\302\241\344\273\302\321\247\0"  // Thai
    "Ay\375kla\0"  // Turkish
    "\302\350\344\356\341\363\362\350 \344\356\0"  // Ukrainian
    "Gia\322i n\351n v\340o\0"  // Vietnamese
    "\275\342\321\271\313\365\265\275\0"  // Chinese (Simplified)
    "\270\321\300\243\301Y\246\334\0"  // Chinese (Traditional)
};

const TextList OverwriteText = {
    "Overwrite file?\0"  // English
    "P\370epsat soubor?\0"  // Czech
    "Overwrite file?\0"  // Afrikaans (English)
    "\307\341\337\312\307\310\311 \335\346\336 \343\341\335\277\0"  // Arabic
    "\307\340\357\350\361 \342\372\360\365\363 \364\340\351\353?\0"  // Bulgarian
    "Overwrite file?\0"  // Catalan (English)
    "Overskrivning af fil?\0"  // Danish
    "Datei \374berschreiben?\0"  // German
    "\301\355\364\351\352\341\364\334\363\364\341\363\347 \341\361\367\345\337\357\365;\0"  // Greek
    "Sobrescribir archivo?\0"  // Spanish
    "Kirjuta fail \374le?\0"  // Estonian
    "Overwrite file?\0"  // Basque (English)
    "Tiedoston korvaaminen?\0"  // Finnish
    "Remplacer le fichier?\0"  // French
    "\344\347\354\364\372 \367\345\341\365?\0"  // Hebrew
    "Pisanje preko datoteke?\0"  // Croatian
    "Fel\374l\355rja a f\341jlt?\0"  // Hungarian
    "Skrifa yfir skr\341?\0"  // Icelandic
    "Sovrascrivere il file?\0"  // Italian
    "\203t\203@\203C\203\213\202\360\217\343\217\221\202\253\202\265\202\334\202\267\202\251?\0"  // Japanese
    "\306\304\300\317\300\273 \265\244\276\356\276\262\275\303\260\332\275\300\264\317\261\356?\0"  // Korean
    "\301ra\360yti vietoj failo?\0"  // Lithuanian
    "Failu p\342rrakst\356\360ana?\0"  // Latvian
    "Bestand overschrijven?\0"  // Dutch
    "Overskriv fil?\0"  // Norwegian
    "Czy zast\271pi\346 plik?\0"  // Polish
    "Substituir ficheiro?\0"  // Portuguese
    "Suprascriere fi?ier?\0"  // Romanian
    "\317\345\360\345\347\340\357\350\361\340\362\374 \364\340\351\353?\0"  // Russian
    "Prep\355sa\235 s\372bor?\0"  // Slovak
    "Ali \236elite prepisati datoteko?\0"  // Slovenian
    "Overwrite file?\0"  // Albanian (English)
    "Vill du ers\344tta filen?\0"  // Swedish
    "\340\242\325\302\271\267\321\272\341\277\351\301\0"  // Thai
    "Dosyan\375n \374zerine yaz\375ls\375n m\375?\0"  // Turkish
    "\317\345\360\345\347\340\357\350\361\363\342\340\355\355\377 \364\340\351\353\363?\0"  // Ukrainian
    "Overwrite file?\0"  // Vietnamese (English)
    "\270\262\270\307\316\304\274\376?\0"  // Chinese (Simplified)
    "\270m\264\253\300\311\256\327\0"  // Chinese (Traditional)
};
const char* TextList::operator[](int row) const {
  const char* text = texts;
  for (; row > 0; --row) text += strlen(text) + 1;
  return text;
}

uint8_t LanguageFor(uint16_t languageId, uint32_t codePage) {
  uint8_t language = static_cast<uint8_t>(languageId & 0xFF);
  for (uint8_t row = 1; row < LanguageCount; ++row) {
    if (LanguageRows[row].language == language && LanguageRows[row].codePage == codePage) return row;
  }
  return 0;
}

#ifdef _WIN32
// The system default language, not the user's interface language: the texts must be
// drawable in the system's ANSI code page, which follows the system locale.
void ChooseLanguage() { LanguageIndex = LanguageFor(GetSystemDefaultLangID(), GetACP()); }
#endif

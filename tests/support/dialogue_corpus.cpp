// Ordinary film dialogue in thirteen languages, written for these tests, and the subtitle
// texts made from it.
#include <algorithm>
#include <stdexcept>

#include "core/encoding.h"
#include "support/ft_streams.h"

namespace vantrel::testing {
namespace {

// UTF-8, as the program holds text.
const char* const kEnglish[] = {
    "Where were you last night? I called you twice.",
    "I was at my sister’s place. Her car broke down again.",
    "You could have told me… I waited until midnight.",
    "I’m sorry. It won’t happen again, I promise.",
    "The train leaves at seven – don’t be late this time.",
    "Did you bring the tickets? They cost €40 each.",
    "He said “wait here” and never came back.",
    "We have no choice — we go tonight or never.",
    "Listen to me. Nobody else knows about this.",
    "What happened to the money? It was right here.",
    "Maybe Jack took it. He was the last one in the room.",
    "Jack would never do that. I’ve known him for years.",
    "Then who did? Somebody must have opened the safe.",
    "Keep your voice down, the children are sleeping.",
    "I found the letter in the kitchen drawer.",
    "Why didn’t you show it to me before?",
    "Because I was afraid of what you’d think.",
    "Look at the sky. A storm is coming from the west.",
    "We should get back to the village before dark.",
    "Excuse me, is this seat taken?",
    "No, please sit down. Are you waiting for someone?",
    "Just a friend from work. She’s always late.",
    "How much for the blue jacket? — Sixty-five euros.",
    "That’s too expensive. Can you do fifty?",
    "Thank you for everything you did for my father.",
    "He was a good man. The whole town will miss him.",
    "Quick, open the door! They’re right behind us!",
    "I can’t find the key… Wait, here it is.",
    "Tell me the truth, Emily. Were you there?",
    "Yes. I saw everything from the window.",
    "It’s a long way to the coast. We’ll stop for lunch.",
    "Call me when you arrive, okay? Good luck.",
    "Welcome home, Daniel. Your room is ready.",
    "Is anybody there? Hello? I can hear you breathing.",
    "Forget it. Some things are better left alone.",
    "She quit her job and moved to Lisbon in June.",
};

const char* const kFrench[] = {
    "Où étais-tu hier soir ? Je t’ai appelé deux fois.",
    "J’étais chez ma sœur. Sa voiture est encore tombée en panne.",
    "Tu aurais pu me prévenir… J’ai attendu jusqu’à minuit.",
    "Je suis désolé. Ça ne se reproduira plus, c’est promis.",
    "Le train part à sept heures – ne sois pas en retard.",
    "Tu as pris les billets ? Ils coûtent 40 € chacun.",
    "Il a dit « attends ici » et il n’est jamais revenu.",
    "Il m’a répondu : “Pas maintenant, plus tard.”",
    "On n’a pas le choix — c’est ce soir ou jamais.",
    "Écoute-moi bien. Personne d’autre n’est au courant.",
    "Qu’est-ce qui est arrivé à l’argent ? Il était là.",
    "Peut-être que Jacques l’a pris. Il était le dernier ici.",
    "Jacques ne ferait jamais ça. Je le connais depuis l’école.",
    "Parle moins fort, les enfants dorment à côté.",
    "J’ai trouvé la lettre dans le tiroir de la cuisine.",
    "Pourquoi ne me l’as-tu pas montrée plus tôt ?",
    "Parce que j’avais peur de ce que tu penserais.",
    "Regarde le ciel. Un orage arrive de l’ouest.",
    "Il faut rentrer au village avant la nuit.",
    "Excusez-moi, cette place est-elle libre ?",
    "Oui, asseyez-vous. Vous attendez quelqu’un ?",
    "Une collègue de bureau. Elle est toujours en retard.",
    "Combien coûte la veste bleue ? — Soixante-cinq euros.",
    "C’est trop cher. Vous me la laissez à cinquante ?",
    "Merci pour tout ce que vous avez fait pour mon père.",
    "C’était un homme bien. Toute la ville le regrettera.",
    "Vite, ouvre la porte ! Ils sont juste derrière nous !",
    "Je ne trouve pas la clé… Attends, la voilà.",
    "Dis-moi la vérité, Hélène. Tu étais là-bas ?",
    "Oui. J’ai tout vu depuis la fenêtre du deuxième étage.",
    "Bienvenue à la maison, François. Ta chambre est prête.",
    "Il y a quelqu’un ? Allô ? Je vous entends respirer.",
    "Laisse tomber. Certaines choses ne s’expliquent pas.",
    "Elle a quitté son travail et s’est installée à Noël.",
    "Ça fait déjà trois ans ; le cœur n’oublie rien.",
    "Ôte ton manteau et viens te réchauffer près du feu.",
};

const char* const kGerman[] = {
    "Wo warst du gestern Abend? Ich habe zweimal angerufen.",
    "Ich war bei meiner Schwester. Ihr Auto ist kaputt.",
    "Du hättest es mir sagen können… Ich habe gewartet.",
    "Es tut mir leid. Das passiert nicht wieder, versprochen.",
    "Der Zug fährt um sieben – komm diesmal nicht zu spät.",
    "Hast du die Fahrkarten? Sie kosten je 40 €.",
    "Er sagte „Warte hier“ und kam nie zurück.",
    "Sie flüsterte: “Niemand darf davon erfahren.”",
    "Wir haben keine Wahl — heute Nacht oder nie.",
    "Hör mir zu. Außer uns weiß niemand davon.",
    "Was ist mit dem Geld passiert? Es lag genau hier.",
    "Vielleicht hat Jürgen es genommen. Er war zuletzt im Büro.",
    "Jürgen würde so etwas nie tun. Ich kenne ihn seit Jahren.",
    "Sprich leiser, die Kinder schlafen schon.",
    "Ich habe den Brief in der Küchenschublade gefunden.",
    "Warum hast du ihn mir nicht früher gezeigt?",
    "Weil ich Angst hatte, was du denken würdest.",
    "Schau dir den Himmel an. Ein Gewitter zieht auf.",
    "Wir müssen vor der Dunkelheit im Dorf zurück sein.",
    "Entschuldigung, ist dieser Platz noch frei?",
    "Ja, setzen Sie sich. Warten Sie auf jemanden?",
    "Auf eine Kollegin. Sie kommt immer zu spät.",
    "Was kostet die blaue Jacke? — Fünfundsechzig Euro.",
    "Das ist zu teuer. Geht es auch für fünfzig?",
    "Danke für alles, was Sie für meinen Vater getan haben.",
    "Er war ein guter Mann. Die ganze Stadt wird ihn vermissen.",
    "Schnell, mach die Tür auf! Sie sind direkt hinter uns!",
    "Ich finde den Schlüssel nicht… Warte, hier ist er.",
    "Sag mir die Wahrheit, Käthe. Warst du dort?",
    "Ja. Ich habe alles vom Fenster aus gesehen.",
    "Bis zur Küste ist es weit. Wir machen eine Pause.",
    "Ruf mich an, wenn du ankommst, ja? Viel Glück.",
    "Willkommen zu Hause, Günther. Dein Zimmer ist fertig.",
    "Ist da jemand? Hallo? Ich höre Sie atmen.",
    "Vergiss es. Manche Dinge lässt man besser ruhen.",
    "Die Straße ist gesperrt, wir müssen über die Brücke.",
    "Öffne bitte das Fenster, es ist furchtbar heiß hier.",
    "Ärgere dich nicht. So was gibt’s eben manchmal.",
};

const char* const kSpanish[] = {
    "¿Dónde estuviste anoche? Te llamé dos veces.",
    "Estaba en casa de mi hermana. Su coche se averió otra vez.",
    "Podrías habérmelo dicho… Te esperé hasta la medianoche.",
    "Lo siento. No volverá a pasar, te lo prometo.",
    "El tren sale a las siete – no llegues tarde esta vez.",
    "¿Trajiste los billetes? Cuestan 40 € cada uno.",
    "Dijo “espera aquí” y nunca volvió.",
    "No tenemos elección — esta noche o nunca.",
    "Escúchame bien. Nadie más sabe nada de esto.",
    "¿Qué pasó con el dinero? Estaba justo aquí.",
    "Quizá lo cogió Andrés. Fue el último en salir.",
    "Andrés nunca haría algo así. Lo conozco desde niño.",
    "Habla más bajo, los niños están durmiendo.",
    "Encontré la carta en el cajón de la cocina.",
    "¿Por qué no me la enseñaste antes?",
    "Porque tenía miedo de lo que pensarías.",
    "Mira el cielo. Viene una tormenta del oeste.",
    "Tenemos que volver al pueblo antes de que anochezca.",
    "Perdone, ¿está libre este asiento?",
    "Sí, siéntese. ¿Está esperando a alguien?",
    "A una compañera del trabajo. Siempre llega tarde.",
    "¿Cuánto cuesta la chaqueta azul? — Sesenta y cinco euros.",
    "Es demasiado cara. ¿Me la deja en cincuenta?",
    "Gracias por todo lo que hizo por mi padre.",
    "Era un buen hombre. Todo el pueblo lo echará de menos.",
    "¡Rápido, abre la puerta! ¡Están justo detrás de nosotros!",
    "No encuentro la llave… Espera, aquí está.",
    "Dime la verdad, Inés. ¿Estabas allí?",
    "Sí. Lo vi todo desde la ventana del salón.",
    "La costa está lejos. Pararemos a comer en el camino.",
    "Llámame cuando llegues, ¿vale? Buena suerte.",
    "Bienvenido a casa, Ramón. Tu habitación está lista.",
    "¿Hay alguien ahí? ¿Hola? Puedo oírte respirar.",
    "Olvídalo. Hay cosas que es mejor no tocar.",
    "Dejó su trabajo y se mudó a Cádiz en junio.",
    "El señor Muñoz dice que el año pasado fue peor.",
    "Nos vemos en el bar de O’Brien, junto al puerto.",
};

const char* const kItalian[] = {
    "Dov’eri ieri sera? Ti ho chiamato due volte.",
    "Ero da mia sorella. La sua macchina si è rotta di nuovo.",
    "Potevi dirmelo… Ti ho aspettato fino a mezzanotte.",
    "Mi dispiace. Non succederà più, te lo prometto.",
    "Il treno parte alle sette – non fare tardi stavolta.",
    "Hai preso i biglietti? Costano 40 € ciascuno.",
    "Ha detto “aspetta qui” e non è più tornato.",
    "Non abbiamo scelta — stanotte o mai più.",
    "Ascoltami bene. Nessun altro lo sa.",
    "Che fine hanno fatto i soldi? Erano proprio qui.",
    "Forse li ha presi Niccolò. È stato l’ultimo a uscire.",
    "Niccolò non lo farebbe mai. Lo conosco da anni.",
    "Parla piano, i bambini stanno dormendo.",
    "Ho trovato la lettera nel cassetto della cucina.",
    "Perché non me l’hai mostrata prima?",
    "Perché avevo paura di quello che avresti pensato.",
    "Guarda il cielo. Sta arrivando un temporale.",
    "Dobbiamo tornare al paese prima che faccia buio.",
    "Mi scusi, è libero questo posto?",
    "Sì, si accomodi. Aspetta qualcuno?",
    "Una collega di lavoro. È sempre in ritardo.",
    "Quanto costa la giacca blu? — Sessantacinque euro.",
    "È troppo cara. Me la lascia a cinquanta?",
    "Grazie per tutto quello che ha fatto per mio padre.",
    "Era un brav’uomo. Tutta la città sentirà la sua mancanza.",
    "Presto, apri la porta! Sono proprio dietro di noi!",
    "Non trovo la chiave… Aspetta, eccola.",
    "Dimmi la verità, Lucía. Eri lì?",
    "Sì. Ho visto tutto dalla finestra del salotto.",
    "La costa è lontana. Ci fermeremo a pranzo.",
    "Chiamami quando arrivi, va bene? In bocca al lupo.",
    "Bentornato a casa, Tommaso. La tua camera è pronta.",
    "C’è qualcuno? Pronto? Ti sento respirare.",
    "Lascia perdere. Certe cose è meglio non toccarle.",
    "Così ha lasciato il lavoro e si è trasferita a Forlì.",
    "Perciò domani andrò in città a comprare più caffè.",
};

const char* const kDutch[] = {
    "Waar was je gisteravond? Ik heb je twee keer gebeld.",
    "Ik was bij mijn zus. Haar auto is weer kapot.",
    "Je had het me kunnen zeggen… Ik heb tot middernacht gewacht.",
    "Het spijt me. Het gebeurt niet meer, dat beloof ik.",
    "De trein vertrekt om zeven uur – kom niet te laat.",
    "Heb je de kaartjes? Ze kosten € 40 per stuk.",
    "Hij zei “wacht hier” en kwam nooit meer terug.",
    "We hebben geen keus — vannacht of nooit.",
    "Luister goed. Niemand anders weet hiervan.",
    "Wat is er met het geld gebeurd? Het lag hier net nog.",
    "Misschien heeft Joëlle het gepakt. Zij was de laatste.",
    "Joëlle zou dat nooit doen. Ik ken haar al jaren.",
    "Zachtjes, de kinderen slapen al.",
    "Ik vond de brief in de keukenla.",
    "Waarom heb je hem me niet eerder laten zien?",
    "Omdat ik bang was voor wat je zou denken.",
    "Kijk naar de lucht. Er komt onweer aan uit het westen.",
    "We moeten voor het donker terug zijn in het dorp.",
    "Pardon, is deze plaats nog vrij?",
    "Ja hoor, gaat u zitten. Wacht u op iemand?",
    "Op een collega. Ze is altijd te laat.",
    "Hoeveel kost de blauwe jas? — Vijfenzestig euro.",
    "Dat is te duur. Kan het voor vijftig?",
    "Bedankt voor alles wat u voor mijn vader hebt gedaan.",
    "Hij was een goede man. De hele stad zal hem missen.",
    "Snel, doe de deur open! Ze zitten vlak achter ons!",
    "Ik kan de sleutel niet vinden… Wacht, hier is hij.",
    "Vertel me de waarheid, Chloë. Was jij daar?",
    "Ja. Ik heb alles vanuit het raam gezien.",
    "Het is ver naar de kust. We stoppen onderweg voor de lunch.",
    "Bel me als je er bent, oké? Veel succes.",
    "Welkom thuis, Daan. Je kamer is klaar.",
    "Is daar iemand? Hallo? Ik hoor je ademen.",
    "Laat maar. Sommige dingen kun je beter laten rusten.",
    "Ze zegde haar baan op en verhuisde in juni naar België.",
    "’s Ochtends drinkt hij koffie in het café op de hoek.",
    "Jouw ideeën zijn naïef, maar ik vind ze wel mooi.",
};

const char* const kPortuguese[] = {
    "Onde você estava ontem à noite? Liguei duas vezes.",
    "Estava na casa da minha irmã. O carro dela quebrou de novo.",
    "Podia ter me avisado… Esperei até a meia-noite.",
    "Desculpe. Não vai acontecer de novo, prometo.",
    "O trem sai às sete – não se atrase desta vez.",
    "Você trouxe os bilhetes? Custam 40 € cada um.",
    "Ele disse “espere aqui” e nunca mais voltou.",
    "Não temos escolha — é hoje ou nunca.",
    "Escute bem. Ninguém mais sabe disso.",
    "O que aconteceu com o dinheiro? Estava bem aqui.",
    "Talvez o João tenha pegado. Ele foi o último a sair.",
    "O João nunca faria isso. Conheço-o há anos.",
    "Fale mais baixo, as crianças estão dormindo.",
    "Encontrei a carta na gaveta da cozinha.",
    "Por que não me mostrou antes?",
    "Porque eu tinha medo do que você ia pensar.",
    "Olhe o céu. Vem aí uma tempestade do oeste.",
    "Precisamos voltar à aldeia antes de escurecer.",
    "Com licença, este lugar está livre?",
    "Sim, sente-se. Está esperando alguém?",
    "Uma colega do trabalho. Ela está sempre atrasada.",
    "Quanto custa o casaco azul? — Sessenta e cinco euros.",
    "É caro demais. Pode fazer por cinquenta?",
    "Obrigado por tudo o que fez pelo meu pai.",
    "Ele era um bom homem. A cidade inteira vai sentir falta dele.",
    "Rápido, abra a porta! Eles estão logo atrás de nós!",
    "Não encontro a chave… Espere, aqui está.",
    "Diga-me a verdade, Conceição. Você estava lá?",
    "Sim. Vi tudo da janela da sala.",
    "A costa é longe. Vamos parar para almoçar no caminho.",
    "Ligue quando chegar, está bem? Boa sorte.",
    "Bem-vindo a casa, Sebastião. O seu quarto está pronto.",
    "Tem alguém aí? Olá? Consigo ouvir você respirar.",
    "Esqueça. Há coisas que é melhor não mexer.",
    "Ela deixou o emprego e mudou-se para São Paulo em junho.",
    "As lições de português começam às três e meia.",
    "Encontramo-nos no bar do O’Neill, perto do porto.",
};

const char* const kPolish[] = {
    "Gdzie byłeś wczoraj wieczorem? Dzwoniłam dwa razy.",
    "Byłem u siostry. Jej samochód znowu się zepsuł.",
    "Mogłeś mi powiedzieć… Czekałam do północy.",
    "Przepraszam. To się więcej nie powtórzy, obiecuję.",
    "Pociąg odjeżdża o siódmej – tym razem się nie spóźnij.",
    "Masz bilety? Każdy kosztuje 40 €.",
    "Powiedział „zaczekaj tutaj” i już nie wrócił.",
    "Nie mamy wyboru — jedziemy dziś albo nigdy.",
    "Posłuchaj mnie. Nikt inny o tym nie wie.",
    "Co się stało z pieniędzmi? Leżały właśnie tutaj.",
    "Może wziął je Jacek. Był ostatni w pokoju.",
    "Jacek nigdy by tego nie zrobił. Znam go od lat.",
    "Mów ciszej, dzieci już śpią.",
    "Znalazłam list w szufladzie w kuchni.",
    "Dlaczego nie pokazałeś mi go wcześniej?",
    "Bo bałem się, co sobie pomyślisz.",
    "Spójrz na niebo. Od zachodu idzie burza.",
    "Powinniśmy wrócić do wsi przed zmrokiem.",
    "Przepraszam, czy to miejsce jest wolne?",
    "Nie, proszę usiąść. Czeka pani na kogoś?",
    "Na koleżankę z pracy. Zawsze się spóźnia.",
    "Ile kosztuje ta niebieska kurtka? — Sześćdziesiąt złotych.",
    "Dziękuję za wszystko, co zrobiłeś dla mojego ojca.",
    "Szybko, otwórz drzwi! Są tuż za nami!",
    "Zażółć gęślą jaźń, jak mawiał nasz nauczyciel.",
    "Źle się czuję. Chyba zjadłem coś nieświeżego.",
    "Łódź jest dziś pełna ludzi, wszędzie korki.",
    "Spotkajmy się w pubie O’Briena przy rynku.",
    "Śnieg pada od rana i drogi są nieprzejezdne.",
    "Żona czeka na nas przed teatrem o ósmej.",
    "Czy możesz mi pomóc z tymi ciężkimi walizkami?",
    "Ćwiczyłem cały tydzień, a i tak przegrałem.",
    "Na szyldzie było napisane “Zamknięte”, ale drzwi były otwarte.",
    "Jutro rano pojedziemy nad jezioro, jeśli nie będzie padać.",
    "Nie wiem, czy zdążymy na ostatni autobus do miasta.",
};

const char* const kCzech[] = {
    "Kde jsi byl včera večer? Volala jsem ti dvakrát.",
    "Byl jsem u sestry. Zase se jí porouchalo auto.",
    "Mohl jsi mi to říct… Čekala jsem do půlnoci.",
    "Promiň. Už se to nestane, slibuju.",
    "Vlak odjíždí v sedm – tentokrát nepřijď pozdě.",
    "Máš lístky? Každý stojí 40 €.",
    "Řekl „počkej tady“ a už se nevrátil.",
    "Nemáme na vybranou — jedeme dnes, nebo nikdy.",
    "Poslouchej mě. Nikdo jiný o tom neví.",
    "Co se stalo s penězi? Ležely přesně tady.",
    "Možná je vzal Jirka. Byl v pokoji poslední.",
    "Jirka by to nikdy neudělal. Znám ho léta.",
    "Mluv tišeji, děti už spí.",
    "Našla jsem ten dopis v šuplíku v kuchyni.",
    "Proč jsi mi ho neukázal dřív?",
    "Protože jsem se bál, co si pomyslíš.",
    "Podívej se na oblohu. Od západu jde bouřka.",
    "Měli bychom se vrátit do vesnice před setměním.",
    "Promiňte, je tohle místo volné?",
    "Ne, posaďte se. Čekáte na někoho?",
    "Na kamarádku z práce. Vždycky chodí pozdě.",
    "Kolik stojí ta modrá bunda? — Šedesát pět korun.",
    "Děkuji za všechno, co jste udělal pro mého otce.",
    "Rychle, otevři dveře! Jsou hned za námi!",
    "Příliš žluťoučký kůň úpěl ďábelské ódy.",
    "Řeka se v noci rozvodnila a most je zavřený.",
    "Ťukal na okno, ale nikdo mu neotevřel.",
    "Sejdeme se v hospodě U O’Neilla na náměstí.",
    "Ještě že jsi přišel. Už jsem se bála.",
    "Čtvrtek je pro mě lepší než pátek.",
    "Můžeš mi pomoct s těmi těžkými kufry?",
    "Ďábel se skrývá v detailech, říkávala babička.",
    "Na dveřích stálo ”Zavřeno”, ale bylo otevřeno.",
    "Zítra ráno pojedeme k jezeru, jestli nebude pršet.",
    "Nevím, jestli stihneme poslední autobus do města.",
};

const char* const kRussian[] = {
    "Где ты был вчера вечером? Я звонила тебе дважды.",
    "Я был у сестры. У неё опять сломалась машина.",
    "Ты мог бы мне сказать… Я ждала до полуночи.",
    "Прости. Это больше не повторится, обещаю.",
    "Поезд уходит в семь – на этот раз не опаздывай.",
    "Ты взял билеты? Каждый стоит 40 €.",
    "Он сказал “жди здесь” и больше не вернулся.",
    "У нас нет выбора — едем сегодня или никогда.",
    "Послушай меня. Об этом больше никто не знает.",
    "Что случилось с деньгами? Они лежали прямо здесь.",
    "Может, их взял Миша. Он последним был в комнате.",
    "Миша никогда бы так не сделал. Я знаю его много лет.",
    "Говори тише, дети уже спят.",
    "Я нашла письмо в ящике на кухне.",
    "Почему ты не показал его мне раньше?",
    "Потому что боялся, что ты подумаешь.",
    "Посмотри на небо. С запада идёт гроза.",
    "Нам нужно вернуться в деревню до темноты.",
    "Простите, это место свободно?",
    "Нет, садитесь, пожалуйста. Вы кого-то ждёте?",
    "Подругу с работы. Она всегда опаздывает.",
    "Сколько стоит синяя куртка? — Шестьдесят пять рублей.",
    "Спасибо за всё, что вы сделали для моего отца.",
    "Быстрее, открой дверь! Они прямо за нами!",
    "Съешь же ещё этих мягких французских булок.",
    "Встретимся в пабе О’Нила возле площади.",
    "Юля купила цветы, а Эдик принёс торт.",
    "Щенок спрятался под лестницей и дрожит.",
    "Чай будешь? Я только что заварила.",
    "Жаль, что ты не поехал с нами на юг.",
    "Ты можешь помочь мне с этими тяжёлыми чемоданами?",
    "Хорошо, что ты пришёл. Я уже начала волноваться.",
    "Завтра утром поедем на озеро, если не будет дождя.",
    "Не знаю, успеем ли мы на последний автобус в город.",
    "Моя бабушка всегда говорила, что утро вечера мудренее.",
};

const char* const kGreek[] = {
    "Πού ήσουν χθες το βράδυ; Σε πήρα δύο φορές.",
    "Ήμουν στο σπίτι της αδελφής μου. Το αυτοκίνητό της χάλασε ξανά.",
    "Μπορούσες να μου το πεις… Περίμενα ως τα μεσάνυχτα.",
    "Συγγνώμη. Δεν θα ξανασυμβεί, σου το υπόσχομαι.",
    "Το τρένο φεύγει στις επτά – μην αργήσεις αυτή τη φορά.",
    "Πήρες τα εισιτήρια; Κοστίζουν 40 € το καθένα.",
    "Είπε “περίμενε εδώ” και δεν γύρισε ποτέ.",
    "Δεν έχουμε επιλογή — φεύγουμε απόψε ή ποτέ.",
    "Άκουσέ με. Κανείς άλλος δεν το ξέρει.",
    "Τι έγιναν τα χρήματα; Ήταν ακριβώς εδώ.",
    "Ίσως τα πήρε ο Γιάννης. Ήταν τελευταίος στο δωμάτιο.",
    "Ο Γιάννης δεν θα το έκανε ποτέ. Τον ξέρω χρόνια.",
    "Μίλα πιο σιγά, τα παιδιά κοιμούνται.",
    "Βρήκα το γράμμα στο συρτάρι της κουζίνας.",
    "Γιατί δεν μου το έδειξες νωρίτερα;",
    "Γιατί φοβόμουν τι θα σκεφτείς.",
    "Κοίτα τον ουρανό. Έρχεται καταιγίδα από τη δύση.",
    "Πρέπει να γυρίσουμε στο χωριό πριν νυχτώσει.",
    "Συγγνώμη, είναι ελεύθερη αυτή η θέση;",
    "Ναι, καθίστε. Περιμένετε κάποιον;",
    "Μια φίλη από τη δουλειά. Αργεί πάντα.",
    "Πόσο κάνει το μπλε σακάκι; — Εξήντα πέντε ευρώ.",
    "Σας ευχαριστώ για όσα κάνατε για τον πατέρα μου.",
    "Γρήγορα, άνοιξε την πόρτα! Είναι ακριβώς πίσω μας!",
    "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία.",
    "Θα βρεθούμε στην ταβέρνα του Ο’Νιλ στην πλατεία.",
    "Ψάχνω το κλειδί εδώ και μία ώρα.",
    "Ώρα να φύγουμε, αλλιώς θα χάσουμε το πλοίο.",
    "Έλα μαζί μας στη θάλασσα το Σάββατο.",
    "Ζέστη κάνει σήμερα, πάρε νερό μαζί σου.",
    "Μπορείς να με βοηθήσεις με αυτές τις βαλίτσες;",
    "Ευτυχώς ήρθες. Είχα αρχίσει να ανησυχώ.",
    "Αύριο το πρωί θα πάμε στη λίμνη, αν δεν βρέχει.",
    "Δεν ξέρω αν θα προλάβουμε το τελευταίο λεωφορείο για την πόλη.",
    "Η γιαγιά μου έλεγε πάντα ότι η υπομονή φέρνει καλά αποτελέσματα.",
};

const char* const kHungarian[] = {
    "Hol voltál tegnap este? Kétszer is hívtalak.",
    "A nővéremnél voltam. Megint elromlott az autója.",
    "Szólhattál volna… Éjfélig vártam rád.",
    "Sajnálom. Többé nem fordul elő, ígérem.",
    "A vonat hétkor indul – ezúttal ne késs el.",
    "Elhoztad a jegyeket? Darabja 40 €.",
    "Azt mondta, „várj itt”, és sosem jött vissza.",
    "Nincs más választásunk — ma éjjel indulunk, vagy soha.",
    "Figyelj rám. Erről senki más nem tud.",
    "Mi történt a pénzzel? Itt volt az asztalon.",
    "Talán Péter vitte el. Ő volt utoljára a szobában.",
    "Péter sosem tenne ilyet. Évek óta ismerem.",
    "Beszélj halkabban, a gyerekek már alszanak.",
    "A levelet a konyhai fiókban találtam.",
    "Miért nem mutattad meg korábban?",
    "Mert féltem, hogy mit fogsz gondolni.",
    "Nézd az eget. Nyugat felől vihar közeledik.",
    "Sötétedés előtt vissza kell érnünk a faluba.",
    "Elnézést, szabad ez a hely?",
    "Igen, üljön le nyugodtan. Vár valakit?",
    "Egy kolléganőmet. Mindig késik.",
    "Mennyibe kerül a kék kabát? — Hatvanöt euró.",
    "Köszönök mindent, amit az apámért tett.",
    "Gyorsan, nyisd ki az ajtót! Itt vannak mögöttünk!",
    "Árvíztűrő tükörfúrógép, mondta a tanító.",
    "Találkozzunk az O’Brien kocsmában a téren.",
    "Ünnepre hazautazunk a szüleinkhez.",
    "Őszintén szólva nem hiszek neki.",
    "Holnap reggel a tóhoz megyünk, ha nem esik.",
    "Nem tudom, elérjük-e az utolsó buszt a városba.",
    "Úgy látszik, ma sem fogunk időben végezni.",
    "Segítenél nekem ezekkel a nehéz bőröndökkel?",
    "Szerencsére megjöttél. Már kezdtem aggódni.",
    "A nagymamám mindig azt mondta, hogy a türelem rózsát terem.",
    "Az ajtón az állt: “Zárva”, mégis nyitva volt.",
    "Évek óta nem láttam ilyen szép naplementét a Balaton partján.",
    "Ha holnap sem jön el, akkor én magam megyek érte a városba.",
    "Anyám megterítette az asztalt, apám pedig friss paradicsomot szedett a kertből.",
    "Mielőtt elolvasod ezt a könyvet, tudnod kell valamit az író életéről.",
};

const char* const kTurkish[] = {
    "Dün gece neredeydin? Seni iki kez aradım.",
    "Kız kardeşimdeydim. Arabası yine bozuldu.",
    "Bana söyleyebilirdin… Gece yarısına kadar bekledim.",
    "Özür dilerim. Bir daha olmayacak, söz veriyorum.",
    "Tren yedide kalkıyor – bu sefer geç kalma.",
    "Biletleri aldın mı? Tanesi 40 €.",
    "“Burada bekle” dedi ve bir daha dönmedi.",
    "Başka seçeneğimiz yok — ya bu gece ya hiç.",
    "Beni dinle. Bunu başka kimse bilmiyor.",
    "Paraya ne oldu? Tam burada duruyordu.",
    "Belki Ahmet aldı. Odada en son o vardı.",
    "Ahmet asla böyle bir şey yapmaz. Onu yıllardır tanırım.",
    "Sesini alçalt, çocuklar uyuyor.",
    "Mektubu mutfak çekmecesinde buldum.",
    "Neden bana daha önce göstermedin?",
    "Çünkü ne düşüneceğinden korktum.",
    "Gökyüzüne bak. Batıdan fırtına geliyor.",
    "Hava kararmadan köye dönmeliyiz.",
    "Affedersiniz, burası boş mu?",
    "Evet, lütfen oturun. Birini mi bekliyorsunuz?",
    "İşten bir arkadaşımı. Hep geç kalır.",
    "Mavi ceket ne kadar? — Altmış beş lira.",
    "Babam için yaptığınız her şey için teşekkür ederim.",
    "Çabuk, kapıyı aç! Hemen arkamızdalar!",
    "Pijamalı hasta yağız şoföre çabucak güvendi.",
    "Meydandaki O’Neill’ın barında buluşalım.",
    "Öğretmenimiz İstanbul’a taşındı.",
    "Şu ağır valizlerle bana yardım edebilir misin?",
    "Yarın sabah göle gideceğiz, yağmur yağmazsa.",
    "Şehre giden son otobüse yetişir miyiz bilmiyorum.",
    "Neyse ki geldin. Endişelenmeye başlamıştım.",
    "Büyükannem her zaman sabrın acı, meyvesinin tatlı olduğunu söylerdi.",
    "Ilık bir rüzgâr esiyordu ve deniz sakindi.",
    "Yıllardır böyle güzel bir gün batımı görmemiştim, dedi yaşlı adam.",
    "Yarın da gelmezse onu şehirde kendim arayacağım.",
    "Kapının üstünde “Kapalı” yazıyordu ama içeride ışıklar yanıyordu.",
    "Annem sofrayı hazırladı, babam da bahçeden taze domates topladı.",
    "Bu kitabı okumadan önce yazarın hayatını bilmen gerekir.",
    "Geçen yaz köyde dedemle birlikte balık tutmaya giderdik.",
};

struct Corpus {
    const char* code;
    const char* const* sentences;
    size_t count;
};

template <size_t N>
constexpr Corpus corpusOf(const char* code, const char* const (&sentences)[N]) {
    return {code, sentences, N};
}

constexpr Corpus kCorpora[] = {
    corpusOf("eng", kEnglish), corpusOf("fra", kFrench),  corpusOf("deu", kGerman),
    corpusOf("spa", kSpanish), corpusOf("ita", kItalian), corpusOf("nld", kDutch),
    corpusOf("por", kPortuguese), corpusOf("pol", kPolish), corpusOf("ces", kCzech),
    corpusOf("rus", kRussian), corpusOf("ell", kGreek), corpusOf("hun", kHungarian), corpusOf("tur", kTurkish),
};

// Words of `text` wrapped into lines of at most `width` characters (a longer word stands alone).
std::vector<std::string> wrap(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = std::min(text.find(' ', i), text.size());
        const std::string word = text.substr(i, end - i);
        i = end + 1;
        if (word.empty()) continue;
        if (!line.empty() && static_cast<int>(charCount(line) + 1 + charCount(word)) > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// A small linear congruential generator: its sequence is fixed on every platform.
struct Sequence {
    uint32_t state;
    uint32_t next(uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    }
};

}  // namespace

const std::vector<std::string>& corpusLanguages() {
    static const std::vector<std::string> codes = [] {
        std::vector<std::string> c;
        for (const Corpus& k : kCorpora) c.emplace_back(k.code);
        return c;
    }();
    return codes;
}

const std::vector<std::string>& corpus(std::string_view language) {
    static const std::vector<std::vector<std::string>> converted = [] {
        std::vector<std::vector<std::string>> all;
        for (const Corpus& k : kCorpora) {
            std::vector<std::string> sentences;
            for (size_t i = 0; i < k.count; ++i) sentences.push_back(k.sentences[i]);
            all.push_back(std::move(sentences));
        }
        return all;
    }();
    for (size_t i = 0; i < std::size(kCorpora); ++i)
        if (language == kCorpora[i].code) return converted[i];
    throw std::invalid_argument("no dialogue for the language " + std::string(language));
}

std::vector<std::string> subtitleTexts(std::string_view language, const TextOptions& options) {
    const std::vector<std::string>& sentences = corpus(language);
    Sequence seq{options.seed * 2654435761u + 1u};
    std::vector<std::string> texts;
    for (int n = 0; n < options.count; ++n) {
        // One sentence, or two short ones, that fit two lines.
        std::vector<std::string> lines;
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::string text = sentences[seq.next(static_cast<uint32_t>(sentences.size()))];
            if (static_cast<int>(charCount(text)) < options.maxLineChars / 2 && seq.next(2) == 0)
                text += " " + sentences[seq.next(static_cast<uint32_t>(sentences.size()))];
            lines = wrap(text, options.maxLineChars);
            if (lines.size() <= 2) break;
        }
        if (lines.size() > 2) lines.resize(2);

        const bool italicLines = options.italicEvery > 0 && n % options.italicEvery == options.italicEvery - 1;
        const bool italicWord =
            !italicLines && options.italicWordEvery > 0 && n % options.italicWordEvery == options.italicWordEvery - 1;
        if (italicLines) {
            for (std::string& l : lines) l = "<i>" + l + "</i>";
        } else if (italicWord) {
            // The first word of three letters or more, from the last line up, with the
            // punctuation that clings to it, as subtitle authors tag a stressed word.
            bool done = false;
            for (auto l = lines.rbegin(); l != lines.rend() && !done; ++l) {
                for (size_t i = 0; i < l->size() && !done;) {
                    const size_t end = std::min(l->find(' ', i), l->size());
                    const std::u32string word = toChars(l->substr(i, end - i));
                    const auto letters = std::count_if(word.begin(), word.end(), [](char32_t c) { return isLetter(c); });
                    if (letters >= 3) {
                        *l = l->substr(0, i) + "<i>" + l->substr(i, end - i) + "</i>" + l->substr(end);
                        done = true;
                    }
                    i = end + 1;
                }
            }
        }
        std::string text;
        for (const std::string& l : lines) text += (text.empty() ? "" : "|") + l;
        texts.push_back(std::move(text));
    }
    return texts;
}

}  // namespace vantrel::testing

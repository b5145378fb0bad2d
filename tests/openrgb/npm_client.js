// Drives the running program's OpenRGB SDK server with the npm client
// openrgb-sdk, one step per run: node npm_client.js STEP PORT [ARG]. Prints
// what it saw; exits 1 when something is not as a client expects.
"use strict";
const path = require("path");
const net = require("net");

const [step, portText, arg] = process.argv.slice(2);
const port = Number(portText);
const failures = [];
const check = (ok, what) => { if (!ok) failures.push(what); };
const sleep = ms => new Promise(r => setTimeout(r, ms));

function client(version) {
  const { Client } = require(path.join(process.env.ZR417_NPM_DIR, "node_modules", "openrgb-sdk"));
  return new Client("zr417-test", port, "127.0.0.1", version === 5 ? {} : { forceProtocolVersion: version });
}

async function describe(version) {
  const c = client(version);
  await c.connect();
  check(c.protocolVersion === version, `negotiated ${c.protocolVersion}, not ${version}`);
  const devices = await c.getAllControllerData();
  check(devices.length === 2, `${devices.length} controllers`);
  const [kb, side] = devices;
  check(kb.name === "ZR417 QV310" && kb.type === 5, `controller 0 is ${kb.name} of type ${kb.type}`);
  check(side.name === "ZR417 QV310 Side Light", `controller 1 is ${side.name}`);
  check(kb.version === arg, `firmware ${kb.version}, not ${arg}`);
  const names = kb.modes.map(m => m.name);
  check(JSON.stringify(names) ===
        JSON.stringify(["Static", "Racing", "Breathing", "Reactive", "Wave", "Ripple", "DIY1", "DIY2", "DIY3", "DIY4", "DIY5"]),
        `modes ${names}`);
  const breathing = kb.modes[2];
  check(breathing.flagList.includes("speed") && breathing.flagList.includes("modeSpecificColor") &&
        breathing.flagList.includes("randomColor") && breathing.flagList.includes("automaticSave"),
        `Breathing flags ${breathing.flagList}`);
  check(breathing.speedMax === 6 && (version < 3 || breathing.brightnessMax === 5),
        `Breathing ranges ${breathing.speedMax} ${breathing.brightnessMax}`);
  check(kb.modes[6].flagList.includes("perLedColor"), "DIY1 is per-LED");
  check(kb.zones.length === 1 && kb.zones[0].name === "Keyboard" && kb.zones[0].ledsCount === 104,
        `zones ${JSON.stringify(kb.zones.map(z => [z.name, z.ledsCount]))}`);
  const m = kb.zones[0].matrix;
  const placed = m ? m.keys.flat().filter(k => k !== undefined).sort((a, b) => a - b) : [];
  check(placed.length === 104 && placed.every((k, i) => k === i), "the matrix holds every key once");
  check(kb.leds.length === 104 && kb.leds[0].name === "Key: Esc" && kb.leds[1].name === "Key: F1",
        `LEDs ${kb.leds.slice(0, 2).map(l => l.name)}`);
  check(kb.colors.length === 104, `${kb.colors.length} colours`);
  check(side.modes.map(m => m.name).join() === "OFF,Wave,Static,Breathing", `side light modes ${side.modes.map(m => m.name)}`);
  check(side.leds.length === 1, "the side light has one LED");
  check(version < 4 ? kb.zones[0].segments === undefined : Array.isArray(kb.zones[0].segments), "segments by version");
  const profiles = await c.getProfileList();
  check(profiles.includes("Calm"), `profiles ${profiles}`);
  console.log(`version ${version}: ${devices.map(d => d.name)}; ${names.length} modes; profiles ${profiles}`);
  c.disconnect();
}

async function run() {
  switch (step) {
    case "describe":
      await describe(5);
      await describe(3);
      break;
    case "breathing": {
      const c = client(5);
      await c.connect();
      await c.updateMode(0, { name: "Breathing", colorMode: 2, colors: [{ red: 20, green: 10, blue: 230 }], speed: 5, brightness: 4 });
      await sleep(200);
      const kb = await c.getControllerData(0);
      const mode = kb.modes[kb.activeMode];
      check(mode.name === "Breathing" && mode.colors[0].blue === 255 && mode.colors[0].red === 0, `now ${JSON.stringify(mode)}`);
      c.disconnect();
      break;
    }
    case "paint": {
      const c = client(5);
      await c.connect();
      c.setCustomMode(0);
      // A second of streaming, as effect plugins do, then the final picture.
      for (let i = 0; i < 60; i++) {
        c.updateLeds(0, Array.from({ length: 104 }, () => ({ red: i, green: 0, blue: 0 })));
        await sleep(16);
      }
      c.updateLeds(0, Array.from({ length: 104 }, (_, k) => ({ red: k === 0 ? 255 : 0, green: 0, blue: 0 })));
      c.updateZoneLeds(0, 0, [{ red: 255, green: 0, blue: 0 }, { red: 0, green: 255, blue: 0 }]);
      c.updateSingleLed(0, 103, { red: 0, green: 0, blue: 255 });
      await sleep(200);
      const kb = await c.getControllerData(0);
      check(kb.modes[kb.activeMode].name === "DIY1", `mode ${kb.modes[kb.activeMode].name}`);
      check(kb.colors[1].green === 255 && kb.colors[103].blue === 255 && kb.colors[50].red === 0,
            `colours ${JSON.stringify([kb.colors[1], kb.colors[50], kb.colors[103]])}`);
      c.disconnect();
      break;
    }
    case "profile": {
      const c = client(5);
      await c.connect();
      c.loadProfile(arg);
      await sleep(300);
      c.disconnect();
      break;
    }
    case "raw": {
      // Another user's program: the connection is closed and nothing answers.
      await new Promise(resolve => {
        let received = 0;
        const s = net.connect(port, "127.0.0.1", () => {
          const h = Buffer.alloc(16);
          h.write("ORGB");
          s.write(h);  // a controller count request
        });
        s.on("data", d => { received += d.length; });
        s.on("error", () => {});
        s.on("close", () => { check(received === 0, `${received} bytes answered`); resolve(); });
        setTimeout(() => { check(false, "the connection stayed open"); s.destroy(); }, 5000);
      });
      break;
    }
    case "watch": {
      // Every DeviceListUpdated is followed by a count request; prints each
      // count until it has seen the keyboard go and come back.
      await new Promise(resolve => {
        let buffer = Buffer.alloc(0);
        const seen = [];
        const s = net.connect(port, "127.0.0.1", () => console.log("ready"));
        const send = id => { const h = Buffer.alloc(16); h.write("ORGB"); h.writeUInt32LE(id, 8); s.write(h); };
        s.on("data", d => {
          buffer = Buffer.concat([buffer, d]);
          while (buffer.length >= 16 && buffer.length >= 16 + buffer.readUInt32LE(12)) {
            const id = buffer.readUInt32LE(8), size = buffer.readUInt32LE(12);
            if (id === 100) send(0);
            if (id === 0) {
              seen.push(buffer.readUInt32LE(16));
              console.log(`count ${seen[seen.length - 1]}`);
              if (seen.includes(0) && seen[seen.length - 1] === 2) { s.end(); resolve(); }
            }
            buffer = buffer.subarray(16 + size);
          }
        });
        s.on("error", e => { check(false, `${e}`); resolve(); });
      });
      break;
    }
    default:
      failures.push(`unknown step ${step}`);
  }
}

run().then(() => {
  if (failures.length) {
    console.log(`${step}: ${failures.join("\n")}`);
    process.exit(1);
  }
  process.exit(0);
}, e => {
  console.log(`${step}: ${e && e.stack || e}`);
  process.exit(1);
});

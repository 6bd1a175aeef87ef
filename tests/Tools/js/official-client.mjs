// Drives the service's official JavaScript client against the stand-in service and prints one
// JSON line describing what the client saw; the Qt test that starts it checks the rest.
//   node official-client.mjs <folder holding node_modules/replicate> <api base> <scenario> [args]
import { createRequire } from "node:module";
import { readFile } from "node:fs/promises";
import { join, resolve } from "node:path";

const [packageDir, apiBase, scenario, ...args] = process.argv.slice(2);
const require = createRequire(join(resolve(packageDir), "package.json"));
const Replicate = require("replicate");
const client = new Replicate({ auth: "r8_conformance", baseUrl: apiBase, fileEncodingStrategy: "upload" });

async function failureOf(action) {
  try {
    await action();
    return { error: null };
  } catch (error) {
    return { error: error.message, status: error.response ? error.response.status : null };
  }
}

// A community model runs by its version, as on the service; only official models run by name.
async function byVersion(owner, name) {
  const model = await client.models.get(owner, name);
  return `${owner}/${name}:${model.latest_version.id}`;
}

const scenarios = {
  // A local file handed over as a Buffer: the client uploads it and passes the file's address.
  upscale: async () => ({
    output: await client.run(await byVersion("nightmareai", "real-esrgan"), {
      input: { image: await readFile(args[0]), scale: 2 },
    }),
  }),
  image: async () => ({
    output: await client.run("black-forest-labs/flux-schnell", {
      input: { prompt: "a lighthouse at dusk", num_outputs: 2, aspect_ratio: "16:9" },
    }),
  }),
  // No Prefer header: the client polls until the prediction ends.
  video: async () => {
    const statuses = [];
    const output = await client.run(
      "minimax/video-01",
      { input: { prompt: "waves on a beach" }, wait: { mode: "poll", interval: 100 } },
      (prediction) => statuses.push(prediction.status),
    );
    return { output, statuses };
  },
  version: async () => {
    const model = await client.models.get("black-forest-labs", "flux-schnell");
    const id = model.latest_version.id;
    return { output: await client.run(`black-forest-labs/flux-schnell:${id}`, { input: { prompt: "a fox" } }) };
  },
  cancel: async () => {
    const created = await client.predictions.create({ model: "google/veo-3", input: { prompt: "rain" } });
    const canceled = await client.predictions.cancel(created.id);
    const polled = await client.predictions.get(created.id);
    return { created: created.status, canceled: canceled.status, polled: polled.status };
  },
  search: async () => {
    const page = await client.models.search("esrgan");
    return { names: page.results.map((model) => `${model.owner}/${model.name}`) };
  },
  collection: async () => {
    const collection = await client.collections.get("text-to-image");
    return { slug: collection.slug, count: collection.models.length, next: collection.next };
  },
  failed: async () => failureOf(() => client.run("google/imagen-4", { input: { prompt: "sim:fail" } })),
  invalid: async () => {
    const model = await byVersion("nightmareai", "real-esrgan");
    return failureOf(() => client.run(model, { input: { scale: 2 } }));
  },
};

const run = scenarios[scenario];
if (!run) {
  console.error(`unknown scenario: ${scenario}`);
  process.exit(2);
}
console.log(JSON.stringify(await run()));
